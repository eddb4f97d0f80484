// The anti-false-positive (trust) query: is a file trusted by the user or signed by a trusted
// signer? One operation for every caller; each caller sends its own parameter column and mask.
#pragma once

#include <cstdint>
#include <string>

#include "abi/host.h"

namespace tierlock {

// Match-type masks answered by the service.
inline constexpr uint32_t kMatchUserTrust = 0x17;
inline constexpr uint32_t kMatchWhiteSignature = 0x1C8;
inline constexpr uint32_t kMatchEither = 0x1DF;

// Who asks; each caller sends its own parameter set.
enum class TrustCaller {
    FileLevel,    // source and destination files
    Parent,       // the parent process
    ChainSigner,  // a process-chain file whose level came from the cloud
    TargetList,   // an item of the report's danger list
};

struct TrustQuery {
    TrustCaller caller = TrustCaller::FileLevel;
    uint32_t mask = kMatchUserTrust;  // the match type sent
    int32_t subLevel = 0;             // chain signer and target list
    uint32_t processId = 0;           // parent, chain signer and target list
    uint64_t processCreateTime = 0;   // the creation time of that same process
};

struct TrustServices {
    IRKMisKillingQuery_V2* queryV2 = nullptr;  // preferred when present
    IRKMisKillingQuery* queryV1 = nullptr;
    bool isWin64 = false;
};

struct TrustAnswer {
    bool answered = false;  // the service answered true
    uint8_t skip = 0;
    uint32_t matchType = 0;
    // The path as sent to the service, so that callers log what was really asked about: the
    // caller's own text (which must outlive the answer), or its system32 form.
    const char16_t* path() const { return mapped ? mappedPath.c_str() : sentPath; }
    const char16_t* sentPath = u"";
    bool mapped = false;
    std::u16string mappedPath;

    // Level resolution lifts to level 10 when this holds for the caller's test mask.
    bool Matches(uint32_t testMask) const { return answered && (matchType & testMask) != 0; }
};

inline bool HasTrustService(const TrustServices& services) {
    return services.queryV2 || services.queryV1;
}

// Asks the service about path (mapped to its system32 form on 64-bit systems). Without a
// service, or when the parameter set cannot be made, the answer is "not answered"; the path
// that was (or would have been) sent is in the answer whenever a service is set.
TrustAnswer QueryTrust(const TrustServices& services, const char16_t* path,
                       const TrustQuery& query);

}  // namespace tierlock
