// The host calls each case of LastProcessEvent cannot avoid, made on a scene's host objects
// with the arguments the plug-in passes, and the log lines handed over ready-made. What the
// plug-in builds for the host (the query parameter sets, the request bundle) is built here
// once, beforehand: building it is the plug-in's own work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "abi/bundle.h"
#include "abi/records.h"
#include "last_event_scene.h"

namespace bench {

class FloorCalls {
  public:
    // lines: what the host took from the plug-in for one event of the case, in order.
    FloorCalls(Scene& scene, std::vector<simhost::LogRecord> lines);
    ~FloorCalls();
    FloorCalls(const FloorCalls&) = delete;
    FloorCalls& operator=(const FloorCalls&) = delete;

    // No rule for the event: the record, the target, its two flags and four INFO lines.
    void Unconfigured();
    // A candidate rule whose chain does not match: the guards, then every level source.
    void Unmatched();
    // A match, reported: the levels, the request's inputs, the report, the pop-up.
    void Matched();

  private:
    // The probe of one line, and the line itself when the host wants it.
    void Line(int32_t level);
    void Admission();
    // The candidate's dump, the file levels with their trust questions and the chain's levels
    // from the process cache.
    void Levels();
    void FileLevel(IRkRuleTarget* target, bool source);
    IRKProcessTreeCache* Cache(IRkRuleTarget* target);
    // The cache's chain of the acting process and each member's level pair.
    void ChainFromCache(IRKProcessTreeCache* cache, bool reportLines);
    void MemberLevel(IRKProcessTreeCache* cache, const tierlock::RkProcessInfoRecord& member);
    void TargetList(IRkRuleTarget* target);

    Scene& scene_;
    std::vector<simhost::LogRecord> lines_;
    size_t next_ = 0;
    IASBundle* fileLevelQuery_ = nullptr;
    IASBundle* targetListQuery_ = nullptr;
    IASBundle* digestQuery_ = nullptr;
    IRkBundle* request_ = nullptr;
    std::vector<tierlock::RkProcessInfoRecord> chain_;
};

}  // namespace bench
