// What the report writers need from the plug-in: the host services it holds and two process-
// wide helpers, passed in so that the writers stay free of the plug-in object and tests can
// stand in for the system and the base components.
#pragma once

#include <cstdint>

#include "abi/host.h"
#include "abi/nuv_base.h"
#include "levels/create_time.h"
#include "levels/trust_query.h"
#include "platform/base_components.h"

namespace tierlock {

// Creation time of a process in milliseconds since 1970; false (and nothing written) when it
// cannot be found.
using CreateTimeReader = bool (*)(uint32_t pid, uint64_t* createTime);
// The base component with one reference added for the caller, or null.
using BaseComponentGetter = IBaseComponent* (*)();

// Borrowed for one report; nothing here is referenced or released by the writers.
struct ReportContext {
    IRKCache* cache = nullptr;  // file digests
    IRKMisKillingQuery_V2* misKillingQueryV2 = nullptr;
    IRKMisKillingQuery* misKillingQuery = nullptr;
    IRKProcTreeV3Ctrl* procTree = nullptr;  // the chain when the event has no cache
    IRKProcessTreeHelperCtrl* procTreeHelperCtrl = nullptr;
    bool isWin64 = false;
    CreateTimeReader getCreatetime = &GetCreatetime;
    BaseComponentGetter getBaseComponent = &platform::GetBaseComponent;

    TrustServices trust() const { return {misKillingQueryV2, misKillingQuery, isWin64}; }
};

}  // namespace tierlock
