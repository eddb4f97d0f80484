// The test base component made to count as loaded under the components' names: on Windows
// a copy of the component DLL per name, loaded from a folder of its own; natively the linked
// component registered with the substitute under each name.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "components/base_components.h"
#include "simhost/base_component.h"
#include "simhost/plugin_library.h"

#ifndef _WIN32
#include "platform/native_functions.h"
#include "platform/substitute.h"
#endif

#ifdef _WIN32
#include <windows.h>
#endif

class LoadedComponents {
  public:
    LoadedComponents() {
#ifdef _WIN32
        folder_ = std::filesystem::temp_directory_path() /
                  ("tierlock-components-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder_);
#else
        BaseComponentClearCalls();
        simhost::SetModuleLookup(&tierlock::platform::os::ModuleHandle);
#endif
    }
    ~LoadedComponents() {
#ifdef _WIN32
        for (HMODULE module : modules_) {
            FreeLibrary(module);
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
#else
        tierlock::platform::ClearSubstituteModules();
        simhost::SetModuleLookup(nullptr);
        BaseComponentClearCalls();
#endif
    }
    LoadedComponents(const LoadedComponents&) = delete;
    LoadedComponents& operator=(const LoadedComponents&) = delete;

    void Load(const std::u16string& name) {
#ifdef _WIN32
        const std::filesystem::path copy = folder_ / std::filesystem::path(name);
        std::filesystem::copy_file(
            simhost::DefaultPluginPath().parent_path() / "base_component.dll", copy,
            std::filesystem::copy_options::overwrite_existing);
        HMODULE module = LoadLibraryW(copy.wstring().c_str());
        ASSERT_NE(module, nullptr) << copy.string() << " error " << GetLastError();
        modules_.push_back(module);
#else
        tags_.push_back(std::make_unique<char>());
        tierlock::platform::SetSubstituteModule(name, tags_.back().get());
        tierlock::platform::SetSubstituteExport(tags_.back().get(), "CreateNUVObject",
                                                reinterpret_cast<void*>(&CreateNUVObject));
#endif
    }

    // The calls the components saw, those of each module in the order they were loaded.
    std::string Log() const {
#ifdef _WIN32
        std::string log;
        for (HMODULE module : modules_) {
            log += Function<BaseComponentCallsFn>(module, "BaseComponentCalls")();
        }
        return log;
#else
        return BaseComponentCalls();
#endif
    }

    int32_t LiveObjects() const {
#ifdef _WIN32
        int32_t live = 0;
        for (HMODULE module : modules_) {
            live += Function<BaseComponentLiveObjectsFn>(module, "BaseComponentLiveObjects")();
        }
        return live;
#else
        return BaseComponentLiveObjects();
#endif
    }

  private:
#ifdef _WIN32
    template <class Fn>
    static Fn Function(HMODULE module, const char* name) {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }

    std::filesystem::path folder_;
    std::vector<HMODULE> modules_;
#else
    std::vector<std::unique_ptr<char> > tags_;
#endif
};
