// Building configurations and reading the rule dump back from the host's log.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "simhost/text.h"

// A configuration with one mode (id 1) holding one item with the given level key and text,
// and one rule naming it.
inline std::string OneItemConfig(const std::string& key, const std::string& levels,
                                 const std::string& ruleExtra = "") {
    return R"({"enable":1,"matchmode":[{"modeid":1,"mode":[{"id":1,")" + key + R"(":")" + levels +
           R"(","popwnd":"1"}]}],"rules":[{"id":1,"modeid":1)" + ruleExtra + "}]}";
}

// The text after a dump heading up to the end of its sub-line, from the last rule dump.
inline std::u16string DumpField(const std::vector<std::u16string>& lines,
                                const std::u16string& heading) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->find(u"[Tierlock::PRINTF_MACTCH_RULE]") == std::u16string::npos) {
            continue;
        }
        const size_t at = it->find(u"\r\n" + heading);
        if (at == std::u16string::npos) {
            return u"<no field>";
        }
        const size_t begin = at + 2 + heading.size();
        return it->substr(begin, it->find(u"\r\n", begin) - begin);
    }
    return u"<no dump>";
}

inline bool HasLine(const std::vector<std::u16string>& lines, const std::u16string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline size_t CountLines(const std::vector<std::u16string>& lines, const std::u16string& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}
