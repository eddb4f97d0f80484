// Text helpers for tests and tools: UTF-8 <-> UTF-16 and the expected shape of a log line.
#pragma once

#include <string>
#include <string_view>

namespace simhost {

std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);

// "[tierlock][WORD ][tag] message\n" for a level number 30, 35 or 50.
std::u16string LogLine(int32_t level, std::string_view tag, std::u16string_view message);

}  // namespace simhost
