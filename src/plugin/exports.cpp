// The library's two entry points.
#include <cstring>
#include <new>

#include "abi/boundary.h"
#include "abi/rule_plug.h"
#include "plugin/tierlock.h"

#if defined(_WIN32)
#define TIERLOCK_EXPORT
#else
#define TIERLOCK_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

TIERLOCK_EXPORT bool CreatePlugObjectV2(const RkGuid* iid, IRkRulePlug** out) {
    return tierlock::CatchReturn(false, [&] {
        if (!iid || std::memcmp(iid, &IID_IRkRulePlug, sizeof(RkGuid)) != 0) {
            return false;
        }
        if (!out) {
            return false;
        }
        auto* plug = new (std::nothrow) tierlock::Tierlock();
        if (!plug) {
            return false;
        }
        *out = plug;
        return true;
    });
}

TIERLOCK_EXPORT void ReleasePlugObjectV2(IRkRulePlug* plug) {
    tierlock::CatchVoid([&] {
        // The interface has no destructor entry: the object is always our Tierlock.
        delete static_cast<tierlock::Tierlock*>(plug);
    });
}

}  // extern "C"
