// What the report writers read besides the event and the process source: the trust query, the
// creation-time reader that names a process to it, and where file digests come from. Passed
// in, so that tests can stand in for the system and the base components.
#pragma once

#include <cstdint>

#include "abi/host.h"
#include "abi/nuv_base.h"
#include "components/base_components.h"
#include "trust/create_time.h"
#include "trust/trust_query.h"

namespace tierlock {

// Creation time of a process in milliseconds since 1970; false (and nothing written) when it
// cannot be found.
using CreateTimeReader = bool (*)(uint32_t pid, uint64_t* createTime);
// The base component with one reference added for the caller, or null.
using BaseComponentGetter = IBaseComponent* (*)();

// Where the digests of a reported file come from: the host's file cache, decoded by the base
// component. Borrowed for one report.
struct DigestSources {
    IRKCache* cache = nullptr;
    BaseComponentGetter getBaseComponent = &components::GetBaseComponent;
};

struct ReportSources {
    TrustServices trust;
    CreateTimeReader readCreateTime = &GetCreatetime;
    DigestSources digests;
};

}  // namespace tierlock
