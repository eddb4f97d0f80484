// The hostile host the last-event fuzzer and the corpus runner share: one input decides every
// answer the host gives to one plug-in object's LastProcessEvent, and every reference, tree root
// and verdict is checked afterwards. A broken promise prints what broke and aborts.
#pragma once

#include <cstddef>
#include <cstdint>

void RunHostileHostInput(const uint8_t* data, size_t size);
