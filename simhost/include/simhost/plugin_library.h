// Loads the plug-in library by path as the host does and finds its two exports by name.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "abi/rule_plug.h"

namespace simhost {

class PluginLibrary {
  public:
    // Loads the library at path. With freshCopy, a private copy is loaded instead, so that the
    // instance starts with its own process-wide state (no framework stored yet).
    static std::unique_ptr<PluginLibrary> Load(const std::filesystem::path& path, bool freshCopy,
                                               std::string* error);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool Create(const RkGuid* iid, IRkRulePlug** out) const { return create_(iid, out); }
    void Release(IRkRulePlug* plug) const { release_(plug); }
    // Finds any other export by name (null when absent).
    void* Symbol(const char* name) const;

  private:
    PluginLibrary() = default;

    void* handle_ = nullptr;
    std::filesystem::path copy_;
    CreatePlugObjectV2Fn create_ = nullptr;
    ReleasePlugObjectV2Fn release_ = nullptr;
};

// The simulated base component loaded under the names the plug-in finds it by ("NUVBase.dll",
// and "module.base" for its module lookup), from the libraries built beside the running
// executable, for as long as this lives. On Windows copies of base_component.dll under those
// names, in a folder of their own; natively the shared objects whose SONAMEs are those names.
class BaseComponentModules {
  public:
    static std::unique_ptr<BaseComponentModules> Load(std::string* error);
    ~BaseComponentModules();
    BaseComponentModules(const BaseComponentModules&) = delete;
    // Forgets the calls each loaded copy has recorded.
    void ClearCalls();
    BaseComponentModules& operator=(const BaseComponentModules&) = delete;

  private:
    BaseComponentModules() = default;

    std::vector<void*> handles_;
    std::filesystem::path folder_;
};

// The shipped library beside the running executable (tierlock.dll or libtierlock.so).
std::filesystem::path DefaultPluginPath();

}  // namespace simhost
