// tierlock-host --version: the tool's release and that of the plug-in library it would load.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tierlock_host {

extern const char kVersionUsage[];

// The release version recorded in the library's file, read without loading the library: the
// fixed file version of the Windows version resource, or the "tierlock" note of a native ELF
// library. Nothing when the file has none.
std::optional<std::string> ReadLibraryVersion(const std::filesystem::path& path);

// Arguments after "--version". Answers 0 when both versions are known, 1 when the library's is
// not, 2 for arguments it does not understand.
int RunVersion(int argc, char** argv);

}  // namespace tierlock_host
