#include "platform/paths.h"

#include <cstring>
#include <string_view>

#include "platform/path_functions.h"
#include "platform/text.h"

namespace tierlock::platform {
namespace {

enum class Redirect { NotSystem32, Converted, Failed };

// The path under sysnative when source lies under <windows>\system32. The whole result is
// built in memory first, so a path of any length either fits the caller's buffer or is refused.
Redirect RedirectToSysnative(const char16_t* source, std::u16string& converted) {
    char16_t windows[kMaxPathChars] = {};
    const uint32_t windowsLength = os::WindowsDirectory(windows, kMaxPathChars);
    // A larger answer is the size needed: the buffer holds nothing usable then.
    if (windowsLength == 0 || windowsLength >= kMaxPathChars) {
        return Redirect::NotSystem32;
    }
    char16_t system32[kMaxPathChars] = {};
    if (!os::CombinePath(system32, windows, u"system32\\")) {
        return Redirect::NotSystem32;
    }
    // The folder name without its trailing backslash, so that the folder itself matches too.
    const size_t folderLength = std::char_traits<char16_t>::length(system32) - 1;
    const std::u16string_view path(source);
    if (path.size() < folderLength ||
        os::CompareNoCase(source, system32, static_cast<int>(folderLength)) != 0) {
        return Redirect::NotSystem32;
    }
    // "System32x\..." is another folder that merely shares the name's beginning.
    if (path.size() > folderLength && path[folderLength] != u'\\') {
        return Redirect::NotSystem32;
    }
    char16_t sysnative[kMaxPathChars] = {};
    if (!os::CombinePath(sysnative, windows, u"sysnative\\")) {
        return Redirect::Failed;
    }
    converted = sysnative;
    if (path.size() > folderLength + 1) {
        converted.append(path.substr(folderLength + 1));
    }
    return Redirect::Converted;
}

// Copies only what fits with its terminator: a bounded copy that fails would end the process.
bool CopyIfFits(std::u16string_view text, char16_t* destination, size_t capacity) {
    if (text.size() >= capacity) {
        return false;
    }
    std::memmove(destination, text.data(), text.size() * sizeof(char16_t));
    destination[text.size()] = u'\0';
    return true;
}

const std::u16string& SysnativePrefix() {
    static const std::u16string prefix = [] {
        char16_t windows[kMaxPathChars] = {};
        const uint32_t length = os::WindowsDirectory(windows, kMaxPathChars);
        std::u16string text;
        if (length < kMaxPathChars) {
            text.assign(windows, length);
        }
        text += u"\\sysnative\\";
        return ToLowerAscii(text);
    }();
    return prefix;
}

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    size_t position = 0;
    while ((position = text.find(from, position)) != std::u16string::npos) {
        text.replace(position, from.size(), to);
        position += to.size();
    }
}

}  // namespace

bool System32ToSysnative(const char16_t* source, char16_t* destination, size_t capacity,
                         bool* longPathAsked) {
    if (longPathAsked) {
        *longPathAsked = false;
    }
    if (!source || !destination || capacity == 0) {
        return false;
    }
    const char16_t* const callerSource = source;
    char16_t expanded[kMaxPathChars] = {};
    if (source[0] != u'\\' && os::FindChar(source, u'~')) {
        if (longPathAsked) {
            *longPathAsked = true;
        }
        const uint32_t length = api_win::Api_GetLongPathName(source, expanded);
        // An answer of kMaxPathChars or more is the size needed: nothing was written.
        if (length != 0 && length < kMaxPathChars) {
            source = expanded;
        }
    }

    std::u16string converted;
    switch (RedirectToSysnative(source, converted)) {
        case Redirect::Failed:
            return false;
        case Redirect::Converted:
            if (CopyIfFits(converted, destination, capacity)) {
                return true;
            }
            break;
        case Redirect::NotSystem32:
            if (destination == source) {
                return false;
            }
            if (CopyIfFits(source, destination, capacity)) {
                return true;
            }
            break;
    }
    // Too long for the caller's buffer: leave no stale text behind, but never damage the source.
    if (destination != callerSource) {
        destination[0] = u'\0';
    }
    return false;
}

bool MentionsSysnative(const char16_t* path) {
    constexpr char16_t kWord[] = u"sysnative";
    constexpr size_t kLength = sizeof(kWord) / sizeof(kWord[0]) - 1;
    // Setting bit 5 folds an ASCII capital onto its small letter, and only a letter's two
    // cases land on that letter: so one OR tests a unit, and the terminator never matches.
    constexpr char16_t kFold = 0x20;
    if (!path) {
        return false;
    }
    for (const char16_t* start = path; *start; ++start) {
        if ((*start | kFold) != kWord[0]) {
            continue;  // most positions fail here, before the word is compared
        }
        size_t i = 1;
        while (i < kLength && (start[i] | kFold) == kWord[i]) {
            ++i;
        }
        if (i == kLength) {
            return true;
        }
    }
    return false;
}

bool SysnativeToSystem32(const std::u16string& input, std::u16string& output) {
    if (input.empty()) {
        return false;
    }
    const std::u16string& prefix = SysnativePrefix();
    const std::u16string lowered = ToLowerAscii(input);
    const size_t position = lowered.find(prefix);
    if (position == std::u16string::npos) {
        if (&output != &input) {
            output = input;
        }
        return false;
    }
    const size_t end = position + prefix.size();
    if (end >= lowered.size()) {
        return false;
    }
    std::u16string result = lowered.substr(0, end);
    ReplaceAll(result, u"sysnative", u"system32");
    result.append(lowered, end);
    output = std::move(result);
    return true;
}

namespace api_win {

uint32_t Api_GetLongPathName(const char16_t* source, char16_t* destination) {
    return os::LongPathName(source, destination, kMaxPathChars);
}

}  // namespace api_win

}  // namespace tierlock::platform
