#include <shlwapi.h>
#include <windows.h>

#include "platform/path_functions.h"
#include "platform/paths.h"

namespace tierlock::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

wchar_t* AsWindowsText(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}
const wchar_t* AsWindowsText(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

}  // namespace

namespace os {

uint32_t WindowsDirectory(char16_t* buffer, uint32_t size) {
    return ::GetSystemWindowsDirectoryW(AsWindowsText(buffer), size);
}

bool CombinePath(char16_t* destination, const char16_t* directory, const char16_t* file) {
    return ::PathCombineW(AsWindowsText(destination), AsWindowsText(directory),
                          AsWindowsText(file)) != nullptr;
}

int CompareNoCase(const char16_t* a, const char16_t* b, int count) {
    return ::StrCmpNIW(AsWindowsText(a), AsWindowsText(b), count);
}

const char16_t* FindChar(const char16_t* text, char16_t c) {
    return reinterpret_cast<const char16_t*>(
        ::StrChrW(AsWindowsText(text), static_cast<wchar_t>(c)));
}

uint32_t LongPathName(const char16_t* source, char16_t* destination, uint32_t size) {
    return ::GetLongPathNameW(AsWindowsText(source), AsWindowsText(destination), size);
}

int ToWide(uint32_t codePage, const char* input, int inputLength, char16_t* output,
           int outputLength) {
    return ::MultiByteToWideChar(codePage, 0, input, inputLength, AsWindowsText(output),
                                 outputLength);
}

}  // namespace os

}  // namespace tierlock::platform
