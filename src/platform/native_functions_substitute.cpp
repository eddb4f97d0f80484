// Behaves as the Windows functions do for what the native readers and the component lookup
// rely on. The substitute system library answers the process queries from the substitute
// process table and lacks the WOW64 functions, as a 64-bit one does; modules and drives are
// set by tests. A module no test registered is found when the process has already loaded a
// shared object of that name (its SONAME), as GetModuleHandleW finds a loaded DLL; none is
// ever loaded here.
#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "platform/native_functions.h"
#include "platform/paths.h"
#include "platform/substitute.h"
#include "platform/substitute_ntdll.h"
#include "platform/text.h"

namespace tierlock::platform {
namespace {

struct Module {
    std::map<std::string, void*> exports;
};

struct SubstituteState {
    std::mutex mutex;
    std::map<std::u16string, void*> modules;  // by lowered name
    std::map<void*, Module> exports;
    std::map<std::u16string, std::u16string> dosDevices;  // by upper-case drive
};

// Stand-ins for the two system libraries; only their addresses are used.
char g_ntdll;
char g_kernel32;

SubstituteState& State() {
    static SubstituteState* const state = [] {
        auto* made = new SubstituteState();
        made->modules[u"ntdll.dll"] = &g_ntdll;
        made->modules[u"kernel32.dll"] = &g_kernel32;
        made->exports[&g_ntdll].exports = {
            {"NtQuerySystemInformation",
             reinterpret_cast<void*>(&substitute::NtQuerySystemInformation)},
            {"NtQueryInformationProcess",
             reinterpret_cast<void*>(&substitute::NtQueryInformationProcess)},
        };
        made->exports[&g_kernel32];
        made->dosDevices[u"C:"] = u"\\Device\\HarddiskVolume1";
        return made;
    }();
    return *state;
}

std::atomic<uint32_t> g_committedBlocks{0};

// The loaded shared object of that name, without keeping a reference, as the handle of a
// loaded DLL holds none.
void* LoadedObject(const std::u16string& name) {
    std::string narrow;
    for (const char16_t c : name) {
        if (c == 0 || c > 0x7e) {
            return nullptr;
        }
        narrow += static_cast<char>(c);
    }
    void* handle = narrow.empty() ? nullptr : dlopen(narrow.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) {
        dlclose(handle);
    }
    return handle;
}

// Whether module is the handle of a loaded shared object (a link map of the process), so that
// only those are searched by symbol.
bool IsLoadedObject(void* module) {
    for (const link_map* map = _r_debug.r_map; map; map = map->l_next) {
        if (map == module) {
            return true;
        }
    }
    return false;
}

thread_local NtStatus t_lastNtStatus = kStatusSuccess;
thread_local uint32_t t_lastError = 0;

}  // namespace

NtStatus LastNtStatus() {
    return t_lastNtStatus;
}

namespace os {

void* ModuleHandle(const char16_t* name) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = state.modules.find(ToLowerAscii(name ? name : u""));
    if (found != state.modules.end()) {
        return found->second;
    }
    return name ? LoadedObject(name) : nullptr;
}

void* ProcAddress(void* module, const char* name) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = state.exports.find(module);
    if (found == state.exports.end() || !name) {
        return module && name && IsLoadedObject(module) ? dlsym(module, name) : nullptr;
    }
    const auto function = found->second.exports.find(name);
    return function == found->second.exports.end() ? nullptr : function->second;
}

NtStatus ReadMemory(void*, uint64_t, void*, uint64_t, uint64_t* bytesRead) {
    if (bytesRead) {
        *bytesRead = 0;
    }
    return kStatusNotSupported;
}

NtStatus ThreadContext(void*, void*) {
    return kStatusNotSupported;
}

uint32_t DosDevice(const char16_t* device, char16_t* target, uint32_t size) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    std::u16string drive = device ? device : u"";
    for (char16_t& c : drive) {
        c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    }
    const auto found = state.dosDevices.find(drive);
    if (found == state.dosDevices.end() || found->second.size() + 2 > size) {
        return 0;
    }
    // A multi-string: the target, its terminator and the list's terminator.
    found->second.copy(target, found->second.size());
    target[found->second.size()] = u'\0';
    target[found->second.size() + 1] = u'\0';
    return static_cast<uint32_t>(found->second.size() + 2);
}

void* CommitBlock(size_t size) {
    void* block = size ? std::calloc(1, size) : nullptr;
    if (block) {
        ++g_committedBlocks;
    }
    return block;
}

void ReleaseBlock(void* block) {
    if (block) {
        --g_committedBlocks;
    }
    std::free(block);
}

void SetLastNtStatus(NtStatus status) {
    t_lastNtStatus = status;
}

void SetLastErrorCode(uint32_t error) {
    t_lastError = error;
}

}  // namespace os

void SetSubstituteModule(const std::u16string& name, void* module) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    state.modules[ToLowerAscii(name)] = module;
    state.exports[module];
}

void SetSubstituteExport(void* module, const std::string& name, void* address) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    state.exports[module].exports[name] = address;
}

void ClearSubstituteModules() {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    std::erase_if(state.modules, [](const auto& entry) {
        return entry.second != &g_ntdll && entry.second != &g_kernel32;
    });
    std::erase_if(state.exports, [](const auto& entry) {
        return entry.first != &g_ntdll && entry.first != &g_kernel32;
    });
}

uint32_t SubstituteCommittedBlocks() {
    return g_committedBlocks.load();
}

void SetSubstituteDosDevice(const std::u16string& drive, const std::u16string& target) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    if (target.empty()) {
        state.dosDevices.erase(drive);
    } else {
        state.dosDevices[drive] = target;
    }
}

}  // namespace tierlock::platform
