// The Windows directory the path functions see: what Windows (or Wine) reports, or the
// substitute's default.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

inline std::u16string WindowsDirectory() {
#ifdef _WIN32
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
#else
    return u"C:\\Windows";
#endif
}
