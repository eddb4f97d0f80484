#include <windows.h>

#include "platform/system_info.h"

namespace tierlock::platform {

std::optional<uint16_t> NativeProcessorArchitecture() {
    // Only a module that is already loaded counts: the plug-in never loads libraries itself.
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (!kernel32) {
        return std::nullopt;
    }
    using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    auto getNativeSystemInfo = reinterpret_cast<GetNativeSystemInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "GetNativeSystemInfo")));
    if (!getNativeSystemInfo) {
        return std::nullopt;
    }
    SYSTEM_INFO info = {};
    getNativeSystemInfo(&info);
    return info.wProcessorArchitecture;
}

}  // namespace tierlock::platform
