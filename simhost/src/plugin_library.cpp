#include "simhost/plugin_library.h"

#include <atomic>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace simhost {
namespace {

#if defined(_WIN32)
const char* kLibraryName = "tierlock.dll";

void* OpenLibrary(const std::filesystem::path& path, std::string* error) {
    HMODULE module = LoadLibraryW(path.wstring().c_str());
    if (!module && error) {
        *error = "LoadLibraryW failed with " + std::to_string(GetLastError());
    }
    return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void CloseLibrary(void* handle) {
    FreeLibrary(static_cast<HMODULE>(handle));
}
std::filesystem::path ExecutablePath() {
    wchar_t buffer[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
    return std::filesystem::path(buffer);
}
unsigned long ProcessId() {
    return GetCurrentProcessId();
}
#else
const char* kLibraryName = "libtierlock.so";

void* OpenLibrary(const std::filesystem::path& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && error) {
        *error = dlerror();
    }
    return handle;
}
void* FindSymbol(void* handle, const char* name) {
    return dlsym(handle, name);
}
void CloseLibrary(void* handle) {
    dlclose(handle);
}
std::filesystem::path ExecutablePath() {
    return std::filesystem::read_symlink("/proc/self/exe");
}
unsigned long ProcessId() {
    return static_cast<unsigned long>(getpid());
}
#endif

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::filesystem::path& path,
                                                   bool freshCopy, std::string* error) {
    std::unique_ptr<PluginLibrary> library(new PluginLibrary());
    std::filesystem::path target = path;
    if (freshCopy) {
        static std::atomic<unsigned> counter{0};
        target = std::filesystem::temp_directory_path() /
                 ("tierlock-" + std::to_string(ProcessId()) + "-" +
                  std::to_string(counter.fetch_add(1)) + path.extension().string());
        std::error_code ec;
        std::filesystem::copy_file(path, target, std::filesystem::copy_options::overwrite_existing,
                                   ec);
        if (ec) {
            if (error) {
                *error = "cannot copy " + path.string() + ": " + ec.message();
            }
            return nullptr;
        }
        library->copy_ = target;
    }
    library->handle_ = OpenLibrary(target, error);
    if (!library->handle_) {
        return nullptr;
    }
    library->create_ =
        reinterpret_cast<CreatePlugObjectV2Fn>(FindSymbol(library->handle_, "CreatePlugObjectV2"));
    library->release_ = reinterpret_cast<ReleasePlugObjectV2Fn>(
        FindSymbol(library->handle_, "ReleasePlugObjectV2"));
    if (!library->create_ || !library->release_) {
        if (error) {
            *error = "CreatePlugObjectV2 or ReleasePlugObjectV2 is not exported";
        }
        return nullptr;
    }
    return library;
}

PluginLibrary::~PluginLibrary() {
    if (handle_) {
        CloseLibrary(handle_);
    }
    if (!copy_.empty()) {
        std::error_code ec;
        std::filesystem::remove(copy_, ec);
    }
}

void* PluginLibrary::Symbol(const char* name) const {
    return FindSymbol(handle_, name);
}

std::unique_ptr<BaseComponentModules> BaseComponentModules::Load(std::string* error) {
    std::unique_ptr<BaseComponentModules> modules(new BaseComponentModules());
    const std::filesystem::path folder = ExecutablePath().parent_path();
    std::vector<std::filesystem::path> files;
#if defined(_WIN32)
    // A DLL is found by its file name, so each name is a copy of its own.
    static std::atomic<unsigned> counter{0};
    modules->folder_ = std::filesystem::temp_directory_path() /
                       ("tierlock-components-" + std::to_string(ProcessId()) + "-" +
                        std::to_string(counter.fetch_add(1)));
    std::error_code ec;
    std::filesystem::create_directories(modules->folder_, ec);
    for (const char* name : {"NUVBase.dll", "module.base"}) {
        files.push_back(modules->folder_ / name);
        std::filesystem::copy_file(folder / "base_component.dll", files.back(),
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            if (error) {
                *error = "cannot copy base_component.dll: " + ec.message();
            }
            return nullptr;
        }
    }
#else
    for (const char* name : {"libsimhost_nuvbase_dll.so", "libsimhost_module_base.so"}) {
        files.push_back(folder / name);
    }
#endif
    for (const std::filesystem::path& file : files) {
        void* handle = OpenLibrary(file, error);
        if (!handle) {
            return nullptr;
        }
        modules->handles_.push_back(handle);
    }
    return modules;
}

BaseComponentModules::~BaseComponentModules() {
    for (auto handle = handles_.rbegin(); handle != handles_.rend(); ++handle) {
        CloseLibrary(*handle);
    }
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
}

void BaseComponentModules::ClearCalls() {
    for (void* handle : handles_) {
        if (void* clear = FindSymbol(handle, "BaseComponentClearCalls")) {
            reinterpret_cast<void (*)()>(clear)();
        }
    }
}

std::filesystem::path DefaultPluginPath() {
    return ExecutablePath().parent_path() / kLibraryName;
}

}  // namespace simhost
