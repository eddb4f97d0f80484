// LastProcessEvent against a hostile host (hostile_host.h): libFuzzer chooses the inputs.
#include "hostile_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RunHostileHostInput(data, size);
    return 0;
}
