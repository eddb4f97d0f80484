// The simulated host a scenario describes: framework, services, process tree, the process
// cache of a cache host, and the event-side objects of each event. Every host object counts
// the references the plug-in takes, so that the replay can tell at the end whether all were
// given back.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "abi/records.h"
#include "scenario.h"
#include "simhost/counted.h"
#include "simhost/framework.h"
#include "simhost/host_bundle.h"
#include "simhost/proc_tree.h"
#include "simhost/process_cache.h"
#include "simhost/rule_objects.h"
#include "simhost/services.h"

namespace tierlock_host {

// The host's services identify a file, not its spelling: they match paths ignoring ASCII case
// and the "sysnative" alias of the system folder.
std::u16string FileKey(std::u16string_view path);

class ScenarioCloud final : public simhost::Counted<IRKEngCloudV2> {
  public:
    ScenarioCloud(const std::vector<CloudAnswer>& answers, bool fails);
    ~ScenarioCloud() = default;
    size_t queries() const { return queries_; }
    bool RK_CALL QueryItemList(IRKScanItem** items, IASBundle* params) override;

  private:
    std::map<std::u16string, LevelPair> levels_;
    bool fails_;
    size_t queries_ = 0;
};

class ScenarioTrust final : public simhost::Counted<IRKMisKillingQuery_V2> {
  public:
    explicit ScenarioTrust(const std::vector<TrustAnswer>& answers);
    ~ScenarioTrust() = default;
    size_t queries() const { return queries_; }
    bool RK_CALL IsCanSkipReport(const char16_t* path, IASBundle* params, uint8_t* skip,
                                 uint32_t* matchType) override;

  private:
    std::map<std::u16string, TrustAnswer> answers_;
    size_t queries_ = 0;
};

// One event's host objects; they live until the replay has read the request.
struct EventObjects {
    simhost::RuleEvent event;
    simhost::RuleTarget target;
    simhost::RuleEngine engine{&target};
    simhost::HostBundle extBundle;
    std::deque<simhost::HostScanItem> scanItems;
    std::deque<tierlock::RkItemRecord> items;
    std::deque<std::u16string> texts;  // what the record's text pointers point to
    std::vector<uint8_t> data, oldData;

    const char16_t* Keep(const std::u16string& text) { return texts.emplace_back(text).c_str(); }
};

class ScenarioHost {
  public:
    explicit ScenarioHost(const Scenario& scenario);
    ScenarioHost(const ScenarioHost&) = delete;
    ScenarioHost& operator=(const ScenarioHost&) = delete;

    simhost::Framework& framework() { return framework_; }
    std::unique_ptr<EventObjects> MakeEvent(const ScenarioEvent& event);

    // One line per reference or tree root left behind or given back too often; empty when all
    // are balanced.
    std::vector<std::string> Imbalances() const;
    // The same for the objects of one event, which the plug-in only borrows.
    static std::vector<std::string> Imbalances(const EventObjects& objects);

    // Forgets the calls the host's objects have recorded, so that a long run keeps its size.
    void ClearRecords();

    size_t cloudQueries() const { return cloud_.queries(); }
    size_t trustQueries() const { return trust_.queries(); }

  private:
    const Scenario& scenario_;
    simhost::Framework framework_;
    simhost::CacheService fileInfo_;
    ScenarioCloud cloud_;
    ScenarioTrust trust_;
    mutable simhost::ProcessTree tree_;  // its counters are read through non-const accessors
    simhost::ProcessCache cache_;
    simhost::HostBundle targetBundle_;
};

}  // namespace tierlock_host
