// The Windows functions behind path normalisation, one thin call each, so that the same
// algorithm runs on the real functions and on the substitute. Internal to this folder.
#pragma once

#include <cstdint>

namespace tierlock::platform::os {

// GetSystemWindowsDirectoryW: length copied, 0 on failure, or the size needed.
uint32_t WindowsDirectory(char16_t* buffer, uint32_t size);

// PathCombineW into a buffer of kMaxPathChars characters; false where it answers null.
bool CombinePath(char16_t* destination, const char16_t* directory, const char16_t* file);

// StrCmpNIW: compares at most count characters ignoring case; 0 when equal.
int CompareNoCase(const char16_t* a, const char16_t* b, int count);

// StrChrW: the first occurrence of c, or null.
const char16_t* FindChar(const char16_t* text, char16_t c);

// GetLongPathNameW.
uint32_t LongPathName(const char16_t* source, char16_t* destination, uint32_t size);

// MultiByteToWideChar with flags 0.
int ToWide(uint32_t codePage, const char* input, int inputLength, char16_t* output,
           int outputLength);

}  // namespace tierlock::platform::os
