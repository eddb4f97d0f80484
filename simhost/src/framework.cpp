#include "simhost/framework.h"

#include "simhost/text.h"

namespace simhost {

void Framework::Serve(const RkGuid& iid, IRkUnknown* service, int32_t status) {
    std::lock_guard lock(mutex_);
    for (Service& entry : services_) {
        if (entry.iid == iid) {
            entry = {iid, service, status};
            return;
        }
    }
    services_.push_back({iid, service, status});
}

std::vector<RkGuid> Framework::queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

void Framework::SetProbeAnswer(int32_t level, int32_t answer) {
    if (level >= 0 && level < kTableLevels) {
        probeTable_[level].store(answer);
        return;
    }
    std::lock_guard lock(mutex_);
    probeAnswers_[level] = answer;
}

size_t Framework::probes(int32_t level) const {
    if (level >= 0 && level < kTableLevels) {
        return probeCounts_[level].load();
    }
    std::lock_guard lock(mutex_);
    auto it = probes_.find(level);
    return it == probes_.end() ? 0 : it->second;
}

std::vector<LogRecord> Framework::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::u16string> Framework::texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::u16string> texts;
    for (const LogRecord& line : lines_) {
        texts.push_back(line.text);
    }
    return texts;
}

std::vector<std::u16string> Framework::textsTagged(std::string_view tag) const {
    const std::u16string mark = u"][" + ToUtf16(tag) + u"] ";
    std::vector<std::u16string> tagged;
    for (std::u16string& text : texts()) {
        if (text.find(mark) != std::u16string::npos) {
            tagged.push_back(std::move(text));
        }
    }
    return tagged;
}

void Framework::ClearLog() {
    std::lock_guard lock(mutex_);
    lines_.clear();
    probes_.clear();
    for (auto& count : probeCounts_) {
        count.store(0);
    }
}

void Framework::ClearRecords() {
    ClearLog();
    std::lock_guard lock(mutex_);
    popups_.clear();
    queries_.clear();
}

void Framework::SetPopWndAnswer(bool result, int32_t answer, bool writesAnswer) {
    std::lock_guard lock(mutex_);
    popResult_ = result;
    popAnswer_ = answer;
    popWritesAnswer_ = writesAnswer;
}

size_t Framework::popupCount() const {
    std::lock_guard lock(mutex_);
    return popups_.size();
}

std::vector<PopWndCall> Framework::popups() const {
    std::lock_guard lock(mutex_);
    return popups_;
}

int32_t RK_CALL Framework::QueryInterface(const RkGuid* iid, void** out) {
    std::lock_guard lock(mutex_);
    if (!iid || !out) {
        return RK_E_INVALIDARG;
    }
    queries_.push_back(*iid);
    for (const Service& entry : services_) {
        if (entry.iid == *iid) {
            if (entry.object) {
                entry.object->AddRef();
            }
            *out = entry.object;
            return entry.status;
        }
    }
    *out = nullptr;
    return RK_E_NOINTERFACE;
}

bool RK_CALL Framework::PopWnd(IRkRuleEvent* event, int32_t mode, int32_t* answer) {
    if (!recording()) {
        if (answer && popWritesAnswer_) {
            *answer = popAnswer_;
        }
        return popResult_;
    }
    std::lock_guard lock(mutex_);
    popups_.push_back({event, mode});
    if (answer && popWritesAnswer_) {
        *answer = popAnswer_;
    }
    return popResult_;
}

int32_t RK_CALL Framework::Log(const char16_t* text, int32_t level) {
    if (!text && level >= 0 && level < kTableLevels) {
        if (recording()) {
            probeCounts_[level].fetch_add(1, std::memory_order_relaxed);
        }
        return probeTable_[level].load(std::memory_order_relaxed);
    }
    if (text && !recording()) {
        return 0;
    }
    std::lock_guard lock(mutex_);
    if (!text) {
        ++probes_[level];
        auto it = probeAnswers_.find(level);
        return it == probeAnswers_.end() ? 0 : it->second;
    }
    lines_.push_back({level, text});
    return 0;
}

}  // namespace simhost
