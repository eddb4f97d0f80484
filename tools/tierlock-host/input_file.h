// Reading the tool's inputs: a regular file, or standard input for "-", never more than a size
// limit, every failure with the system's reason. Also the command-line conventions the commands
// share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>

namespace tierlock_host {

inline constexpr uint64_t kDefaultMaxInputSize = uint64_t{64} << 20;

// Reads path ("-": standard input) into text; false with error set ("is a directory", "larger
// than the limit of 67108864 bytes", the system's message) otherwise.
bool ReadInput(const std::string& path, uint64_t limit, std::string* text, std::string* error);

// "64M", "1048576", "512k": a byte count; nothing when the text is not one.
std::optional<uint64_t> ParseSize(const std::string& text);

// A plug-in library named on the command line is a path, never a name the loader searches for.
std::filesystem::path PluginPathArgument(const std::string& argument);

std::string PathText(const std::filesystem::path& path);

}  // namespace tierlock_host

namespace tierlock_host {

// What a command answers besides its exit status: its usage is printed to standard error
// with exit 2, or to standard output with exit 0 for --help.
inline constexpr int kUsageError = -1;
inline constexpr int kHelpAsked = -2;

// Says "tierlock-host: message" on its own line and answers kUsageError.
int ArgumentError(const std::string& message);

// For an option not understood: "unknown option X", or "option X needs a value" when it is one
// of those that take one.
int OptionError(const char* argument, std::initializer_list<const char*> valued);

// True for an argument that is an option: "-x" or "--x", not "-" (standard input).
bool IsOption(const char* argument);

}  // namespace tierlock_host
