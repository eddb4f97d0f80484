#include "native/nt_function_table.h"

#include <new>

#include "platform/native_functions.h"

namespace tierlock::native {

using namespace tierlock::platform;
namespace {

constexpr const char* kNtdllFunctions[] = {
    "NtQuerySystemInformation",
    "RtlDosApplyFileIsolationRedirection_Ustr",
    "RtlInitUnicodeString",
    "RtlFreeUnicodeString",
    "RtlHashUnicodeString",
    "RtlUpcaseUnicodeChar",
    "NtQueryInformationProcess",
    "NtSetInformationProcess",
    "NtQueryInformationThread",
    "NtDuplicateObject",
    "NtQueryObject",
    "NtQuerySection",
    "RtlCreateActivationContext",
    "NtQueryVirtualMemory",
    "NtCreateThreadEx",
    "NtLockVirtualMemory",
    "NtSuspendProcess",
    "NtResumeProcess",
    "RtlImageNtHeader",
    "NtLoadDriver",
    "NtUnloadDriver",
    "RtlDosPathNameToNtPathName_U",
    "NtOpenEvent",
    "NtCreateEvent",
    "NtQueueApcThread",
    "RtlEncodeSystemPointer",
    "RtlQueueApcWow64Thread",
    "NtWow64QueryInformationProcess64",
    "NtWow64ReadVirtualMemory64",
    "NtWow64WriteVirtualMemory64",
};

constexpr const char* kKernel32Functions[] = {
    "Wow64GetThreadContext", "Wow64SetThreadContext",      "Wow64SuspendThread",
    "GetProcessDEPPolicy",   "QueryFullProcessImageNameW",
};

}  // namespace

NtFunctionTable& NtFunctionTable::Instance() {
    // Never destroyed: readers may still run while the process shuts down.
    static NtFunctionTable* const table = new NtFunctionTable();
    return *table;
}

void NtFunctionTable::Fill() {
    std::call_once(m_filled, [this] {
        const auto enter = [this](const char16_t* moduleName, const auto& names) {
            void* module = os::ModuleHandle(moduleName);
            if (!module) {
                return;
            }
            for (const char* name : names) {
                if (void* address = os::ProcAddress(module, name)) {
                    m_functions.emplace(name, address);
                }
            }
        };
        enter(u"ntdll.dll", kNtdllFunctions);
        enter(u"kernel32.dll", kKernel32Functions);
    });
}

void* NtFunctionTable::Find(std::string_view name) const {
    const auto found = m_functions.find(std::string(name));
    return found == m_functions.end() ? nullptr : found->second;
}

}  // namespace tierlock::native
