#include "log/log.h"
#include "platform/platform.h"
#include "rules/rules.h"

namespace tierlock {
namespace {

void AppendRanges(std::u16string& message, const char16_t* title, const LevelRangeList& ranges) {
    message += u"\r\n";
    message += title;
    for (const LevelRange& range : ranges) {
        message +=
            FormatWide(u"|%d.%d-%d| ", range.level, range.sub_level_low, range.sub_level_high);
    }
}

}  // namespace

void PRINTF_MACTCH_RULE(const MatchRule& rule, const MatchNodes& matchNodes) {
    IRkFramework* frame = ProbeLogLevel(LogLevel::Info);
    if (!frame) {
        return;
    }
    try {
        std::u16string message = FormatWide(u"id=%d type=%d mode_id=%d report_type=%d ", rule.id,
                                            rule.type, rule.mode_id, rule.report_type);
        message += u"\r\n [tierlock] ruleid:";
        for (uint32_t id : rule.ruleid) {
            message += FormatWide(u"|%d| ", id);
        }
        auto node = matchNodes.find(rule.mode_id);
        if (node != matchNodes.end()) {
            message += FormatWide(u"\r\n [tierlock]  MatchmodeSize=%d", node->second.size());
            for (const MatchModeItem& item : node->second) {
                message += FormatWide(u"\r\n [tierlock]====== modeIndex=%d   ======>", item.id);
                message += u"\r\n [tierlock] popwnd=";
                // Popup texts are narrow text in the system's ANSI code page.
                message += platform::MultiByteToWString(item.popwnd, 0);
                AppendRanges(message, u" [tierlock] src_level:", item.src_level);
                AppendRanges(message, u" [tierlock] dst_level:", item.dst_level);
                AppendRanges(message, u" [tierlock] parent_process_level:",
                             item.parent_process_level);
                AppendRanges(message, u" [tierlock] process_chain_level:",
                             item.process_chain_level);
                message += FormatWide(u"\r\n [tierlock]<====== modeIndex=%d   ======", item.id);
            }
        } else {
            message +=
                FormatWide(u"\r\n [tierlock] m_matchNodes Find mode_id=%d Fail", rule.mode_id);
        }
        message += u"\r\n";
        // Written verbatim: a popup text containing % must not be read as a format.
        WriteLogLine(frame, LogLevel::Info, "Tierlock::PRINTF_MACTCH_RULE", message);
    } catch (...) {
    }
}

}  // namespace tierlock
