// What tests tell the substitute that stands in for Windows off Windows. These setters exist
// only in that build: on Windows the real functions answer and nothing can be set.
#pragma once

#if defined(_WIN32)
#error "the substitute and its setters exist only in builds for other systems"
#endif

#include <cstdint>
#include <optional>
#include <string>

namespace tierlock::platform {

// The Windows directory, and short names that GetLongPathNameW expands (matched ignoring case,
// as a whole path).
void SetSubstituteWindowsDirectory(const std::u16string& directory);
void SetSubstituteLongPathName(const std::u16string& shortPath, const std::u16string& longPath);
void ClearSubstituteLongPathNames();

// What NativeProcessorArchitecture answers.
void SetSubstituteArchitecture(std::optional<uint16_t> architecture);

}  // namespace tierlock::platform
