#include "plugin_session.h"

#include "abi/rule_plug.h"
#include "simhost/text.h"

namespace tierlock_host {

PluginSession::PluginSession(const simhost::PluginLibrary& library) : library_(library) {
    framework_.Serve(IID_IRKCACHE, &cache_);
    framework_.Serve(IID_IRKEngCloudV2, &cloud_);
    framework_.Serve(IID_IRKMisKillingQuery_V2, &trustQuery_);
    framework_.Serve(IID_IRKProcTreeV3Ctrl, tree_.ctrl());
    framework_.Serve(IID_IRKProcessTreeHelperCtrl, tree_.helper());
}

std::optional<std::vector<PluginLine>> PluginSession::InitOnce(std::string_view config) {
    IRkRulePlug* plug = nullptr;
    if (!library_.Create(&IID_IRkRulePlug, &plug) || !plug) {
        return std::nullopt;
    }
    framework_.ClearLog();
    plug->Init(&framework_, config.data(), static_cast<int32_t>(config.size()));
    plug->UnInit();
    library_.Release(plug);
    std::vector<PluginLine> lines;
    for (const simhost::LogRecord& record : framework_.lines()) {
        lines.push_back(SplitLogLine(record));
    }
    return lines;
}

PluginLine SplitLogLine(const simhost::LogRecord& record) {
    PluginLine line;
    line.level = record.level;
    std::string text = simhost::ToUtf8(record.text);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    // "[tierlock][" and the five-character level word, then "][tag] ".
    const size_t tagStart = 18;
    const size_t tagEnd = text.find("] ", tagStart);
    if (text.rfind("[tierlock][", 0) != 0 || tagEnd == std::string::npos) {
        line.message = text;
        return line;
    }
    line.tag = text.substr(tagStart, tagEnd - tagStart);
    line.message = text.substr(tagEnd + 2);
    return line;
}

}  // namespace tierlock_host
