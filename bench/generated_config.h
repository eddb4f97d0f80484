// The generated configurations the benchmarks parse and run events against.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

// Rules over three event classes with host rule ids below 997; the unconfigured event's id is
// above them, so it finds no candidate at any size.
inline std::string ManyRulesConfiguration(size_t ruleCount) {
    std::string text = R"({"enable":1,"matchmode":[)";
    for (int mode = 1; mode <= 4; ++mode) {
        text +=
            (mode > 1 ? "," : "") + std::string(R"({"modeid":)") + std::to_string(mode) +
            R"(,"mode":[{"id":1,"srclvl":"70.0-5,40","dstlvl":"10","plvl":"","chainlvl":"70",)" +
            R"("popwnd":"block"}]})";
    }
    text += R"(],"rules":[)";
    for (size_t i = 0; i < ruleCount; ++i) {
        text += (i > 0 ? "," : "") + std::string(R"({"id":)") + std::to_string(i) +
                R"(,"eventtype":)" + std::to_string(1 + i % 3) + R"(,"reporttype":1,"ruleid":")" +
                std::to_string(i % 997) + "," + std::to_string(i % 89) + R"(","modeid":)" +
                std::to_string(1 + i % 4) + "}";
    }
    return text + "]}";
}

}  // namespace bench
