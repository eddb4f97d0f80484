#include "platform/text.h"

#include <algorithm>
#include <climits>

#include "platform/owned_block.h"
#include "platform/path_functions.h"

namespace tierlock::platform {

std::u16string MultiByteToWString(const std::string& input, uint32_t codePage) {
    // The conversion counts in int; a longer text cannot be converted in one call.
    if (input.empty() || input.size() >= static_cast<size_t>(INT_MAX)) {
        return {};
    }
    const size_t length = input.size();
    const OwnedBlock<char16_t> buffer = MakeZeroedBlock<char16_t>(length + 1);
    if (!buffer) {
        return {};
    }
    os::ToWide(codePage, input.data(), static_cast<int>(length), buffer.get(),
               static_cast<int>(length + 1));
    return std::u16string(buffer.get());
}

std::u16string ToLowerAscii(const std::u16string& input) {
    std::u16string lowered = input;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), LowerAscii);
    return lowered;
}

}  // namespace tierlock::platform
