// What the report writers need from the plug-in: the host services it holds and two process-
// wide helpers, passed in so that the writers stay free of the plug-in object.
#pragma once

#include <cstdint>

#include "abi/host.h"
#include "levels/trust_query.h"

namespace tierlock {

// The host's base component as the report uses it: digest bytes to hexadecimal text and back.
struct IBaseComponent : IRkUnknown {
    RK_PLACEHOLDER(4)
    RK_PLACEHOLDER(5)
    // Writes the NUL-terminated text of the bytes into a buffer of 516 characters.
    virtual int32_t RK_CALL BytesToHexText(const void* bytes, uint32_t length, uint32_t flags,
                                           char16_t* buffer516) = 0;  // 6
    // 0 on success; the decoded bytes follow an 8-byte head in result.
    virtual int32_t RK_CALL HexTextToBytes(const char16_t* text, uint32_t length,
                                           void* result) = 0;  // 7

  protected:
    ~IBaseComponent() = default;
};

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
    CreateTimeReader getCreatetime = nullptr;
    BaseComponentGetter getBaseComponent = nullptr;

    TrustServices trust() const { return {misKillingQueryV2, misKillingQuery, isWin64}; }
};

}  // namespace tierlock
