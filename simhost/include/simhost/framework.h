// The host framework handed to Init: serves services by interface id, records every log line
// and pop-up request, and answers the log probe per level from a table.
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "abi/host.h"
#include "simhost/counted.h"

namespace simhost {

struct LogRecord {
    int32_t level;
    std::u16string text;
};

struct PopWndCall {
    IRkRuleEvent* event;
    int32_t mode;
};

class Framework final : public Counted<IRkFramework>, public Recording {
  public:
    Framework() = default;
    ~Framework() = default;
    Framework(const Framework&) = delete;
    Framework& operator=(const Framework&) = delete;

    // QueryInterface for iid answers status; a non-null service is handed out with one
    // reference added for the caller, whatever the status. Unconfigured ids answer
    // 0x80004002 with a null pointer.
    void Serve(const RkGuid& iid, IRkUnknown* service, int32_t status = RK_S_OK);
    std::vector<RkGuid> queries() const;

    // A non-zero answer to the probe of a level suppresses that level's lines.
    void SetProbeAnswer(int32_t level, int32_t answer);
    size_t probes(int32_t level) const;
    // Probes of the usual levels (0 to 63) are answered without the lock. With recording off
    // probes are not counted and lines and pop-ups are not kept.
    std::vector<LogRecord> lines() const;
    std::vector<std::u16string> texts() const;
    // The lines written under one function tag, in order.
    std::vector<std::u16string> textsTagged(std::string_view tag) const;
    void ClearLog();
    // Forgets the lines, probes, pop-ups and queries seen so far, for a long run.
    void ClearRecords();

    // A pop-up that does not write answers leaves the caller's value as it was.
    void SetPopWndAnswer(bool result, int32_t answer, bool writesAnswer = true);
    std::vector<PopWndCall> popups() const;
    size_t popupCount() const;

    int32_t RK_CALL QueryInterface(const RkGuid* iid, void** out) override;
    bool RK_CALL PopWnd(IRkRuleEvent* event, int32_t mode, int32_t* answer) override;
    int32_t RK_CALL Log(const char16_t* text, int32_t level) override;

  private:
    struct Service {
        RkGuid iid;
        IRkUnknown* object;
        int32_t status;
    };

    mutable std::mutex mutex_;
    std::vector<Service> services_;
    std::vector<RkGuid> queries_;
    static constexpr int32_t kTableLevels = 64;
    std::array<std::atomic<int32_t>, kTableLevels> probeTable_{};
    std::array<std::atomic<size_t>, kTableLevels> probeCounts_{};
    std::map<int32_t, int32_t> probeAnswers_;  // the other levels
    std::map<int32_t, size_t> probes_;
    std::vector<LogRecord> lines_;
    bool popResult_ = true;
    int32_t popAnswer_ = 0;
    bool popWritesAnswer_ = true;
    std::vector<PopWndCall> popups_;
};

}  // namespace simhost
