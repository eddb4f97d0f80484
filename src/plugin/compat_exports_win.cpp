// Compatible forms of system functions that older Windows versions lack, for callers outside
// the plug-in. The real function is found through the loader object of the host's base
// component; the plug-in never loads a library itself.
#include <windows.h>

#include "abi/boundary.h"
#include "components/base_components.h"

namespace {

// The real function, or null with the last error ERROR_PROC_NOT_FOUND when the loader object
// is absent or does not find it.
template <class Function>
Function Resolve(const char16_t* library, const char* function) {
    INUVLoader** holder = tierlock::components::GetCompatLoader();
    INUVLoader* loader = holder ? *holder : nullptr;
    void* address = loader ? loader->GetFunction(library, function) : nullptr;
    if (!address) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return reinterpret_cast<Function>(address);
}

}  // namespace

extern "C" {

BOOL WINAPI Compatible_InitializeCriticalSectionEx(LPCRITICAL_SECTION section, DWORD spinCount,
                                                   DWORD /*flags: no system before it has any*/) {
    return tierlock::CatchReturn<BOOL>(
        FALSE, [&] { return InitializeCriticalSectionAndSpinCount(section, spinCount); });
}

ULONGLONG WINAPI Compatible_GetTickCount64() {
    return tierlock::CatchReturn<ULONGLONG>(0, [] {
        using Fn = ULONGLONG(WINAPI*)();
        const auto real = Resolve<Fn>(u"Kernel32.dll", "GetTickCount64");
        return real ? real() : 0;
    });
}

LONG WINAPI Compatible_RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM access, DWORD reserved) {
    return tierlock::CatchReturn<LONG>(ERROR_PROC_NOT_FOUND, [&] {
        using Fn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
        const auto real = Resolve<Fn>(u"Advapi32.dll", "RegDeleteKeyExW");
        return real ? real(key, subKey, access, reserved) : LONG{ERROR_PROC_NOT_FOUND};
    });
}

LONG WINAPI Compatible_RegDeleteKeyValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName) {
    return tierlock::CatchReturn<LONG>(ERROR_PROC_NOT_FOUND, [&] {
        using Fn = LONG(WINAPI*)(HKEY, LPCWSTR, LPCWSTR);
        const auto real = Resolve<Fn>(u"Advapi32.dll", "RegDeleteKeyValueW");
        return real ? real(key, subKey, valueName) : LONG{ERROR_PROC_NOT_FOUND};
    });
}

BOOL WINAPI Compatible_GetNamedPipeClientProcessId(HANDLE pipe, PULONG processId) {
    return tierlock::CatchReturn<BOOL>(FALSE, [&] {
        using Fn = BOOL(WINAPI*)(HANDLE, PULONG);
        const auto real = Resolve<Fn>(u"Kernel32.dll", "GetNamedPipeClientProcessId");
        return real ? real(pipe, processId) : FALSE;
    });
}

}  // extern "C"
