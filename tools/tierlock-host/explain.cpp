#include "explain.h"

#include <cstdlib>
#include <optional>
#include <string_view>

namespace tierlock_host {
namespace {

struct Line {
    std::string_view tag;
    std::string_view message;
};

// "[tierlock][INFO ][tag] message"
Line Split(std::string_view text) {
    const size_t tagStart = 18;
    const size_t tagEnd = text.find("] ", tagStart);
    if (text.substr(0, 11) != "[tierlock][" || tagEnd == std::string_view::npos) {
        return {"", text};
    }
    return {text.substr(tagStart, tagEnd - tagStart), text.substr(tagEnd + 2)};
}

bool Has(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::optional<long long> NumberAfter(std::string_view text, std::string_view marker,
                                     size_t* end = nullptr) {
    const size_t at = text.find(marker);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string rest(text.substr(at + marker.size(), 24));
    char* stop = nullptr;
    const long long value = std::strtoll(rest.c_str(), &stop, 10);
    if (stop == rest.c_str()) {
        return std::nullopt;
    }
    if (end) {
        *end = at + marker.size() + static_cast<size_t>(stop - rest.c_str());
    }
    return value;
}

struct Pair {
    long long level = 0, sub = 0;
};

std::string PairText(const Pair& pair) {
    return std::to_string(pair.level) + "." + std::to_string(pair.sub);
}

// "L.S" after marker.
std::optional<Pair> PairAfter(std::string_view text, std::string_view marker) {
    size_t end = 0;
    const auto level = NumberAfter(text, marker, &end);
    if (!level || end >= text.size() || text[end] != '.') {
        return std::nullopt;
    }
    const auto sub = NumberAfter(text.substr(end), ".");
    return sub ? std::optional<Pair>(Pair{*level, *sub}) : std::nullopt;
}

struct Range {
    long long level, low, high;
};

struct Mode {
    long long id = 0;
    std::string popwnd;
    std::vector<Range> lists[4];  // source, destination, parent, chain
};

struct Rule {
    long long id = 0, type = 0, modeId = 0, reportType = 0;
    std::vector<Mode> modes;
};

const char* const kListNames[] = {
    "src_level:", "dst_level:", "parent_process_level:", "process_chain_level:"};

// The ranges "|L.lo-hi| " of one dump sub-line.
std::vector<Range> Ranges(std::string_view text) {
    std::vector<Range> ranges;
    for (size_t bar = text.find('|'); bar != std::string_view::npos;) {
        const size_t close = text.find('|', bar + 1);
        if (close == std::string_view::npos) {
            break;
        }
        const std::string entry(text.substr(bar + 1, close - bar - 1));
        long long level = 0, low = 0, high = 0;
        if (std::sscanf(entry.c_str(), "%lld.%lld-%lld", &level, &low, &high) == 3) {
            ranges.push_back({level, low, high});
        }
        bar = text.find('|', close + 1);
    }
    return ranges;
}

Rule ParseDump(std::string_view message) {
    Rule rule;
    rule.id = NumberAfter(message, "id=").value_or(0);
    rule.type = NumberAfter(message, " type=").value_or(0);
    rule.modeId = NumberAfter(message, "mode_id=").value_or(0);
    rule.reportType = NumberAfter(message, "report_type=").value_or(0);
    size_t start = 0;
    while (start < message.size()) {
        size_t end = message.find('\n', start);
        if (end == std::string_view::npos) {
            end = message.size();
        }
        std::string_view sub = message.substr(start, end - start);
        while (!sub.empty() && sub.back() == '\r') {
            sub.remove_suffix(1);
        }
        start = end + 1;
        if (Has(sub, "====== modeIndex=") && Has(sub, "======>")) {
            rule.modes.emplace_back().id = NumberAfter(sub, "modeIndex=").value_or(0);
        } else if (rule.modes.empty()) {
            continue;
        } else if (const size_t at = sub.find(" popwnd="); at != std::string_view::npos) {
            rule.modes.back().popwnd = std::string(sub.substr(at + 8));
        } else {
            for (int k = 0; k < 4; ++k) {
                if (const size_t at = sub.find(kListNames[k]); at != std::string_view::npos) {
                    rule.modes.back().lists[k] = Ranges(sub.substr(at));
                    break;
                }
            }
        }
    }
    return rule;
}

bool Fits(const std::vector<Range>& ranges, const Pair& pair) {
    if (ranges.empty()) {
        return true;
    }
    for (const Range& range : ranges) {
        if ((range.level == 0 || range.level == pair.level) && pair.sub >= range.low &&
            pair.sub <= range.high) {
            return true;
        }
    }
    return false;
}

std::string ListText(const std::vector<Range>& ranges) {
    std::string text;
    for (const Range& range : ranges) {
        std::string entry = std::to_string(range.level);
        if (range.low == range.high) {
            entry += "." + std::to_string(range.low);
        } else if (range.low != 0 || range.high != 65535) {
            entry += "." + std::to_string(range.low) + "-" + std::to_string(range.high);
        }
        text += (text.empty() ? "" : ", ") + entry;
    }
    return text;
}

// One comparison of a pair against a list, as said to the author.
std::string Compare(const char* what, const Pair& pair, const std::vector<Range>& list,
                    bool* fits) {
    *fits = Fits(list, pair);
    if (list.empty()) {
        return std::string(what) + " " + PairText(pair) + ": any level (empty list)";
    }
    return std::string(what) + " " + PairText(pair) + (*fits ? " in " : " not in ") +
           ListText(list);
}

const char* ClassWord(int32_t eventClass) {
    return eventClass == 1 ? "file" : eventClass == 2 ? "registry" : "process";
}

// The item the plug-in falls back on by the event's class.
std::string ClassItem(const ScenarioEvent& event) {
    if (event.eventClass == 3) {
        return event.operation == 9 ? "an item of type 16" : "a destination item (type 8)";
    }
    return "a source item (type 1)";
}

// The item types a report type asks for, as the scenario names them.
std::string ItemsFor(long long reportType, const ScenarioEvent& event) {
    if (reportType == 0) {
        return ClassItem(event);
    }
    if (reportType == 0xFFFF) {
        return "a danger item (type 65535) or, failing that, " + ClassItem(event);
    }
    std::string names;
    const std::pair<long long, const char*> kTypes[] = {{1, "source (1)"},
                                                        {4, "parent (4)"},
                                                        {8, "destination (8)"},
                                                        {16, "type 16"},
                                                        {32, "module (32)"}};
    for (const auto& [bit, name] : kTypes) {
        if (reportType & bit) {
            names += (names.empty() ? "" : " or ") + std::string(name);
        }
    }
    return "an item of type " + (names.empty() ? std::to_string(reportType) : names) +
           " or, failing that, " + ClassItem(event);
}

class Retrace {
  public:
    Retrace(const std::vector<std::string>& log, const Scenario& scenario) : scenario_(scenario) {
        for (const std::string& text : log) {
            const Line line = Split(text);
            if (line.tag == "Tierlock::PRINTF_MACTCH_RULE" && !compared_) {
                candidates_.push_back(ParseDump(line.message));
            } else if (Has(line.message, "srcLevel=")) {
                compared_ = true;
                source_ = PairAfter(line.message, "srcLevel=").value_or(Pair{});
                destination_ = PairAfter(line.message, "dstLevel=").value_or(Pair{});
            } else if (Has(line.message, "Parentlevel=")) {
                parents_.push_back(PairAfter(line.message, "Parentlevel=").value_or(Pair{}));
            } else if (Has(line.message, "Chainlevel=")) {
                chain_.push_back({PairAfter(line.message, "Chainlevel=").value_or(Pair{}),
                                  NumberAfter(line.message, "pid=").value_or(0)});
            }
        }
    }

    bool compared() const { return compared_; }
    const std::vector<Rule>& candidates() const { return candidates_; }

    // Walks the candidates as the plug-in did; fills lines and the first failure of each
    // match mode.
    void Run(std::vector<std::string>* lines, std::vector<std::string>* failures) {
        lines->push_back("levels: source file " + PairText(source_) + ", destination file " +
                         PairText(destination_));
        for (const Rule& rule : candidates_) {
            const std::string head =
                "rule " + std::to_string(rule.id) + ", match mode " + std::to_string(rule.modeId);
            if (rule.modes.empty()) {
                lines->push_back(head + ": match mode not configured");
                continue;
            }
            for (const Mode& mode : rule.modes) {
                const std::string name = head + " item " + std::to_string(mode.id);
                std::string failure;
                const bool matched = CompareMode(mode, &failure, lines, name);
                if (!matched) {
                    failures->push_back(name + ": " + failure);
                } else if (mode.lists[3].empty()) {
                    break;  // an empty chain list ends the rule
                }
            }
        }
    }

  private:
    struct ChainNode {
        Pair pair;
        long long pid;
    };

    bool CompareMode(const Mode& mode, std::string* failure, std::vector<std::string>* lines,
                     const std::string& name) {
        std::string said;
        bool fits = false;
        auto step = [&](std::string text) {
            said += (said.empty() ? "" : "; ") + text;
            return text;
        };
        const std::string src = step(Compare("source file", source_, mode.lists[0], &fits));
        if (!fits) {
            return Fail(src, failure, lines, name, said);
        }
        const std::string dst =
            step(Compare("destination file", destination_, mode.lists[1], &fits));
        if (!fits) {
            return Fail(dst, failure, lines, name, said);
        }
        if (mode.lists[2].empty()) {
            step("parent process: any level (empty list)");
        } else {
            const Pair parent = parentAt_ < parents_.size() ? parents_[parentAt_++] : Pair{};
            const std::string text = step(Compare("parent process", parent, mode.lists[2], &fits));
            if (!fits) {
                return Fail(text, failure, lines, name, said);
            }
        }
        if (mode.lists[3].empty()) {
            step("chain: any (empty list)");
            lines->push_back(name + ": " + said + " -> match, pop-up \"" + mode.popwnd + "\"");
            return true;
        }
        // The plug-in walks the chain from its first node each time; a node whose pid is that
        // of the first node starts another walk.
        size_t walked = 0;
        while (chainAt_ < chain_.size() &&
               (walked == 0 || chain_[chainAt_].pid != chain_[chainStart_].pid)) {
            if (walked == 0) {
                chainStart_ = chainAt_;
            }
            const ChainNode& node = chain_[chainAt_++];
            ++walked;
            const std::string text =
                step(Compare(("chain process " + std::to_string(node.pid)).c_str(), node.pair,
                             mode.lists[3], &fits));
            if (fits) {
                lines->push_back(name + ": " + said + " -> match, pop-up \"" + mode.popwnd + "\"");
                return true;
            }
        }
        if (walked == 0) {
            const std::string text =
                scenario_.offersCloud
                    ? "chain not compared: the plug-in found no process chain"
                    : "chain not compared because the scenario has no cloud engine";
            step(text + " (chainlvl " + ListText(mode.lists[3]) + ")");
            return Fail(text, failure, lines, name, said);
        }
        return Fail("no process of the chain in " + ListText(mode.lists[3]), failure, lines, name,
                    said);
    }

    static bool Fail(const std::string& why, std::string* failure, std::vector<std::string>* lines,
                     const std::string& name, const std::string& said) {
        *failure = why;
        lines->push_back(name + ": " + said + " -> no match");
        return false;
    }

    const Scenario& scenario_;
    bool compared_ = false;
    std::vector<Rule> candidates_;
    Pair source_, destination_;
    std::vector<Pair> parents_;
    size_t parentAt_ = 0;
    std::vector<ChainNode> chain_;
    size_t chainAt_ = 0, chainStart_ = 0;
};

}  // namespace

Explanation Explain(const std::vector<std::string>& log, const Scenario& scenario,
                    const ScenarioEvent& event, int32_t verdict) {
    Explanation explanation;
    Retrace retrace(log, scenario);
    std::vector<std::string> failures;
    if (retrace.compared()) {
        retrace.Run(&explanation.lines, &failures);
    }
    if (verdict != 0) {
        return explanation;
    }
    std::string& reason = explanation.reason;
    long long reportType = 0;
    for (const std::string& text : log) {
        const std::string_view message = Split(text).message;
        if (Has(message, "report_type=")) {
            reportType = NumberAfter(message, "report_type=").value_or(0);
        }
        if (Has(message, "please reinitialize")) {
            reason = "the plug-in is not initialised";
        } else if (Has(message, "has been disabled")) {
            reason = "disabled: the configuration's \"enable\" is not a non-zero integer";
        } else if (Has(message, "放行事件")) {
            reason = "the host already let the event pass (alreadyPassed)";
        } else if (Has(message, "风险事件已被报出")) {
            reason = "the host already reported the event as dangerous (alreadyReported)";
        } else if (Has(message, "does not require processing")) {
            reason = !event.synchronous
                         ? "not synchronous: the plug-in decides only synchronous events"
                         : "not covered: no rule has eventtype " +
                               std::to_string(event.eventClass) + " (" +
                               ClassWord(event.eventClass) + ") and ruleid " +
                               std::to_string(event.ruleId);
        } else if (Has(message, "CompareLevels unmatch")) {
            reason = "no candidate rule fit";
            for (size_t i = 0; i < failures.size() && i < 3; ++i) {
                reason += (i == 0 ? ": " : "; ") + failures[i];
            }
            if (failures.size() > 3) {
                reason += "; and " + std::to_string(failures.size() - 3) + " more (--explain)";
            }
        } else if (Has(message, "过白后风险项为空")) {
            reason = "every target item was vouched for by the trust query";
        } else if (Has(message, "没找到风险项")) {
            reason = "no target item for the rule's report type " + std::to_string(reportType) +
                     ": the event needs " + ItemsFor(reportType, event);
        } else if (Has(message, "Create Bundle instance failed")) {
            reason = "the host could not make the request bundle";
        } else {
            continue;
        }
        break;
    }
    if (reason.empty()) {
        reason = "the plug-in logged no reason";
    }
    return explanation;
}

std::vector<std::string> JudgeConfiguration(const std::vector<std::string>& initLog) {
    std::vector<std::string> said;
    bool enabled = false;
    size_t rejected = 0;
    std::string first;
    for (const std::string& text : initLog) {
        const Line line = Split(text);
        if (line.tag == "Tierlock::ParseOption" && Has(line.message, "enable=")) {
            enabled = NumberAfter(line.message, "enable=").value_or(0) != 0;
        }
        if (Has(line.message, "Invalid Item") || Has(line.message, "not found Modeid") ||
            Has(line.message, "modeid not find") || Has(line.message, "sub_level_low>65535") ||
            Has(line.message, "not found") || Has(line.message, "is not an object")) {
            if (rejected++ == 0) {
                first = std::string(line.message);
            }
        }
    }
    if (!enabled) {
        said.push_back(
            "the plug-in is switched off: \"enable\" is missing or not a non-zero integer, so "
            "every event gets verdict 0");
    }
    if (rejected > 0) {
        said.push_back(std::to_string(rejected) + " part" + (rejected == 1 ? "" : "s") +
                       " rejected (first: \"" + first +
                       "\"); `tierlock-host check` says where and why");
    }
    return said;
}

}  // namespace tierlock_host
