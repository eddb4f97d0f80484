// Behaves as the Windows functions do for what path normalisation relies on; the Windows
// directory and the short names that exist are set by tests.
#include <iterator>
#include <map>
#include <mutex>
#include <string_view>

#include <utf8cpp/utf8.h>

#include "platform/path_functions.h"
#include "platform/paths.h"
#include "platform/substitute.h"
#include "platform/text.h"

namespace tierlock::platform {
namespace {

inline constexpr uint32_t kCodePageUtf8 = 65001;

struct SubstituteState {
    std::mutex mutex;
    std::u16string windowsDirectory = u"C:\\Windows";
    std::map<std::u16string, std::u16string> longNames;  // keyed by the lowered short path
};

SubstituteState& State() {
    static SubstituteState state;
    return state;
}

// Copies text with its terminator when it fits; otherwise answers the size needed.
uint32_t CopyOrNeeded(const std::u16string& text, char16_t* buffer, uint32_t size) {
    if (!buffer || size <= text.size()) {
        return static_cast<uint32_t>(text.size() + 1);
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = u'\0';
    return static_cast<uint32_t>(text.size());
}

// Code page 1252 where it differs from Latin-1 (0x80..0x9F); the five unused bytes map to
// the control character of the same value, as Windows maps them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

namespace os {

uint32_t WindowsDirectory(char16_t* buffer, uint32_t size) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.windowsDirectory.empty()) {
        return 0;
    }
    return CopyOrNeeded(state.windowsDirectory, buffer, size);
}

bool CombinePath(char16_t* destination, const char16_t* directory, const char16_t* file) {
    if (!destination || (!directory && !file)) {
        return false;
    }
    std::u16string combined = directory ? directory : u"";
    if (!combined.empty() && combined.back() != u'\\') {
        combined += u'\\';
    }
    combined += file ? file : u"";
    if (combined.size() >= kMaxPathChars) {
        destination[0] = u'\0';
        return false;
    }
    combined.copy(destination, combined.size());
    destination[combined.size()] = u'\0';
    return true;
}

int CompareNoCase(const char16_t* a, const char16_t* b, int count) {
    for (int i = 0; i < count; ++i) {
        const char16_t x = LowerAscii(a[i]);
        const char16_t y = LowerAscii(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        if (x == u'\0') {
            return 0;
        }
    }
    return 0;
}

const char16_t* FindChar(const char16_t* text, char16_t c) {
    for (; *text; ++text) {
        if (*text == c) {
            return text;
        }
    }
    return nullptr;
}

uint32_t LongPathName(const char16_t* source, char16_t* destination, uint32_t size) {
    if (!source) {
        return 0;
    }
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    auto found = state.longNames.find(ToLowerAscii(source));
    if (found == state.longNames.end()) {
        return 0;  // the file does not exist
    }
    return CopyOrNeeded(found->second, destination, size);
}

int ToWide(uint32_t codePage, const char* input, int inputLength, char16_t* output,
           int outputLength) {
    const std::string_view bytes(input, static_cast<size_t>(inputLength));
    std::u16string wide;
    if (codePage == kCodePageUtf8) {
        std::string valid;
        utf8::replace_invalid(bytes.begin(), bytes.end(), std::back_inserter(valid));
        utf8::utf8to16(valid.begin(), valid.end(), std::back_inserter(wide));
    } else {
        for (unsigned char byte : bytes) {
            wide += (byte >= 0x80 && byte < 0xA0) ? kWindows1252High[byte - 0x80]
                                                  : static_cast<char16_t>(byte);
        }
    }
    if (wide.size() > static_cast<size_t>(outputLength)) {
        return 0;
    }
    wide.copy(output, wide.size());
    return static_cast<int>(wide.size());
}

}  // namespace os

void SetSubstituteWindowsDirectory(const std::u16string& directory) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    state.windowsDirectory = directory;
}

void SetSubstituteLongPathName(const std::u16string& shortPath, const std::u16string& longPath) {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    state.longNames[ToLowerAscii(shortPath)] = longPath;
}

void ClearSubstituteLongPathNames() {
    SubstituteState& state = State();
    std::lock_guard lock(state.mutex);
    state.longNames.clear();
}

}  // namespace tierlock::platform
