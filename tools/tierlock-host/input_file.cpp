#include "input_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace tierlock_host {
namespace {

std::string SystemMessage(int error) {
    return std::generic_category().message(error);
}

// Reads up to limit + 1 bytes, so that a longer stream is noticed without being kept.
bool ReadStream(std::FILE* in, uint64_t limit, std::string* text, std::string* error) {
    text->clear();
    char buffer[1 << 16];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, in);
        if (text->size() + n > limit) {
            *error = "larger than the limit of " + std::to_string(limit) + " bytes (--max-size)";
            text->clear();
            text->shrink_to_fit();
            return false;
        }
        text->append(buffer, n);
        if (n < sizeof buffer) {
            break;
        }
    }
    if (std::ferror(in)) {
        *error = SystemMessage(errno);
        return false;
    }
    return true;
}

}  // namespace

bool ReadInput(const std::string& path, uint64_t limit, std::string* text, std::string* error) {
    if (path == "-") {
        return ReadStream(stdin, limit, text, error);
    }
    namespace fs = std::filesystem;
    const fs::path file(std::u8string(path.begin(), path.end()));
    std::error_code code;
    const fs::file_status status = fs::status(file, code);
    if (code) {
        *error = code.message();
        return false;
    }
    if (fs::is_directory(status)) {
        *error = "is a directory";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        *error = "not a regular file";
        return false;
    }
    const uintmax_t size = fs::file_size(file, code);
    if (!code && size > limit) {
        *error = "larger than the limit of " + std::to_string(limit) + " bytes (--max-size)";
        return false;
    }
#if defined(_WIN32)
    std::FILE* in = _wfopen(file.wstring().c_str(), L"rb");
#else
    std::FILE* in = std::fopen(file.c_str(), "rb");
#endif
    if (!in) {
        *error = SystemMessage(errno);
        return false;
    }
    text->reserve(static_cast<size_t>(code ? 0 : size));
    const bool read = ReadStream(in, limit, text, error);
    std::fclose(in);
    return read;
}

std::optional<uint64_t> ParseSize(const std::string& text) {
    uint64_t value = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (uint64_t{1} << 50)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (i == 0) {
        return std::nullopt;
    }
    const std::string unit = text.substr(i);
    const int shift = unit.empty()                 ? 0
                      : unit == "k" || unit == "K" ? 10
                      : unit == "M"                ? 20
                      : unit == "G"                ? 30
                                                   : -1;
    if (shift < 0) {
        return std::nullopt;
    }
    return value << shift;
}

std::filesystem::path PluginPathArgument(const std::string& argument) {
    const std::filesystem::path path(std::u8string(argument.begin(), argument.end()));
    // A bare name would make the system loader search its library path.
    return path.has_parent_path() ? path : std::filesystem::path(".") / path;
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace tierlock_host

namespace tierlock_host {

int ArgumentError(const std::string& message) {
    std::fprintf(stderr, "tierlock-host: %s\n", message.c_str());
    return kUsageError;
}

int OptionError(const char* argument, std::initializer_list<const char*> valued) {
    for (const char* name : valued) {
        if (std::strcmp(argument, name) == 0) {
            return ArgumentError(std::string("option ") + argument + " needs a value");
        }
    }
    return ArgumentError(std::string("unknown option ") + argument);
}

bool IsOption(const char* argument) {
    return argument[0] == '-' && argument[1] != '\0';
}

}  // namespace tierlock_host
