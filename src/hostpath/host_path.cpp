#include "hostpath/host_path.h"

#include "log/log.h"
#include "platform/paths.h"

namespace tierlock {

std::u16string ConvertFilePath(const char16_t* path) {
    if (!path) {
        return {};
    }
    const std::u16string input(path);
    std::u16string converted;
    if (platform::SysnativeToSystem32(input, converted)) {
        Log(LogLevel::Info, "ConvertFilePath", u"SysnativeToSystem32: old=%s , new=%s", input,
            converted);
        return converted;
    }
    return input;
}

std::u16string_view ConvertFilePathView(const char16_t* path, std::u16string& converted) {
    if (!path) {
        return u"";  // empty, yet with data, as a caller's pointer must never be null
    }
    if (!platform::MentionsSysnative(path)) {
        return path;
    }
    converted = ConvertFilePath(path);
    return converted;
}

}  // namespace tierlock
