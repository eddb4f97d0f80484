// The string conversions the rest of the plug-in uses for keys, paths and log lines.
#pragma once

#include <cstdint>
#include <string>

namespace tierlock::platform {

// The one ASCII lower-caser: only A to Z change; every other code unit stays as it is.
constexpr char16_t LowerAscii(char16_t c) noexcept {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string ToLowerAscii(const std::u16string& input);

// A narrow string in the given code page (0 = the system ANSI code page) as UTF-16.
std::u16string MultiByteToWString(const std::string& input, uint32_t codePage);

}  // namespace tierlock::platform
