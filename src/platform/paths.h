// Path normalisation between the 64-bit system folder's two names ("system32", what 64-bit
// processes and the host report, and "sysnative", through which 32-bit code reaches it without
// redirection), and short-name expansion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tierlock::platform {

// Fixed path buffers hold this many characters, terminator included.
inline constexpr uint32_t kMaxPathChars = 260;

// The image path as the plug-in should open it: a path under <windows>\system32 becomes the
// same path under <windows>\sysnative. Anything else is copied unchanged. destination may be
// source itself; capacity counts characters, terminator included. False when nothing usable
// was written: the same buffer was left unconverted, or the result does not fit.
// longPathAsked, when given, tells whether a short name was looked up through
// api_win::Api_GetLongPathName, which the caller announces in its log.
bool System32ToSysnative(const char16_t* source, char16_t* destination, size_t capacity,
                         bool* longPathAsked = nullptr);

// The path as the host and the rules see it: a path under <windows>\sysnative\ becomes the
// lowered path under system32. output may be input itself; it is left as it was when the path
// is empty or is the folder itself, and receives input unchanged when there is nothing to do.
bool SysnativeToSystem32(const std::u16string& input, std::u16string& output);
// False when SysnativeToSystem32 has nothing to do for the path: it names no sysnative folder.
// Reads only the text; most paths are settled by it without a copy.
bool MentionsSysnative(const char16_t* path);

namespace api_win {
// Long form of a path with a short-name component into a buffer of kMaxPathChars characters:
// the length written, 0 on failure, or the size needed when the buffer is too small. Its INFO
// line ("GetLongPathName USE WINAPI") is the caller's to write: this layer does not log.
uint32_t Api_GetLongPathName(const char16_t* source, char16_t* destination);
}  // namespace api_win

}  // namespace tierlock::platform
