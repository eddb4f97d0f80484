#include "simhost/text.h"

#include <iterator>

#include <utf8cpp/utf8.h>

namespace simhost {

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    try {
        utf8::utf16to8(text.begin(), text.end(), std::back_inserter(out));
    } catch (const utf8::exception&) {
        out += "\xEF\xBF\xBD";  // an unpaired surrogate: show where the text broke
    }
    return out;
}

std::u16string ToUtf16(std::string_view text) {
    std::string valid;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    std::u16string out;
    utf8::utf8to16(valid.begin(), valid.end(), std::back_inserter(out));
    return out;
}

std::u16string LogLine(int32_t level, std::string_view tag, std::u16string_view message) {
    const char16_t* word = level == 35 ? u"ERROR" : level == 50 ? u"CORE " : u"INFO ";
    std::u16string line = u"[tierlock][";
    line += word;
    line += u"][";
    line += ToUtf16(tag);
    line += u"] ";
    line += message;
    line += u'\n';
    return line;
}

}  // namespace simhost
