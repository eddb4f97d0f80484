// Arbitrary bytes as the configuration handed to Init, with every host service present and
// every log level wanted, so that parsing, the rule dump and the log lines all run.
#include <cstddef>
#include <cstdint>

#include "log/log.h"
#include "plugin/tierlock.h"
#include "simhost/framework.h"
#include "simhost/services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static simhost::Framework framework;
    static simhost::CacheService cache;
    static simhost::TrustQueryV2 queryV2;
    static bool served = [] {
        framework.Serve(IID_IRKCACHE, &cache);
        framework.Serve(IID_IRKMisKillingQuery_V2, &queryV2);
        return true;
    }();
    (void)served;

    {
        tierlock::Tierlock plug;
        // Init reads exactly the given length: the input is copied so ASan sees any overread.
        plug.Init(&framework, reinterpret_cast<const char*>(data), static_cast<int32_t>(size));
        plug.UnInit();
        plug.Init(&framework, reinterpret_cast<const char*>(data), static_cast<int32_t>(size));
    }
    framework.ClearLog();
    if (cache.refs() != 0 || queryV2.refs() != 0) {
        __builtin_trap();  // a reference leaked or was dropped twice
    }
    return 0;
}
