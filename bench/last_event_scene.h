// One plug-in object initialised against the simulated host, and the host objects of one event,
// for the benchmarks of LastProcessEvent. The host records every call it serves; the scene
// renews the event-side objects now and then so that those records do not grow without end.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "abi/host.h"
#include "abi/records.h"
#include "plugin/tierlock.h"
#include "simhost/framework.h"
#include "simhost/proc_tree.h"
#include "simhost/process_cache.h"
#include "simhost/rule_objects.h"
#include "simhost/services.h"

namespace bench {

// Rule 101 matches the acting file's 70.3 and the chain's 70.x member; rule 102 asks for a
// chain member at 90, which the chain lacks, so every level is resolved and nothing matches.
inline constexpr char kConfiguredConfiguration[] = R"({"enable":1,
  "matchmode":[
    {"modeid":8,"mode":[{"id":1,"srclvl":"70.3","dstlvl":"","plvl":"","chainlvl":"90","popwnd":"block"}]},
    {"modeid":9,"mode":[{"id":1,"srclvl":"70.3","dstlvl":"","plvl":"","chainlvl":"70","popwnd":"block"}]}],
  "rules":[{"id":1,"eventtype":1,"reporttype":0,"ruleid":"101","modeid":9},
           {"id":2,"eventtype":1,"reporttype":0,"ruleid":"102","modeid":8}]})";

inline constexpr int32_t kInfo = 30;
inline constexpr int32_t kError = 35;
inline constexpr int32_t kCore = 50;

// How the host answers the log probe. A production host refuses INFO lines and takes ERROR and
// CORE lines.
enum class LogPolicy { InfoRefused, AllAccepted };

// What the host has done so far, as the simulated host records it: the floor of a case must
// make the same calls as the plug-in, and this is how the benchmark checks that it does.
struct HostCallCounts {
    size_t properties = 0, itemRequests = 0, bundleReads = 0;
    size_t probes[3] = {}, lines = 0, popups = 0, attached = 0;
    size_t treeCalls = 0, processCacheCalls = 0, trustCalls = 0, fileCacheCalls = 0, cloudCalls = 0;

    bool operator==(const HostCallCounts&) const = default;
    // What happened between two snapshots.
    HostCallCounts Since(const HostCallCounts& before) const;
    std::string Describe() const;
};

class Scene {
  public:
    // Initialises the plug-in with config; the event is a file event of host rule ruleId. With
    // renewServices, each renewal also starts the host's services afresh and initialises the
    // plug-in again with them, since those services record every call too.
    Scene(const std::string& config, uint32_t ruleId, LogPolicy policy, bool renewServices);
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // The process-wide log sink follows the scene being measured.
    void MakeCurrent();
    // Fresh event, rule engine and target; the host's records are cleared.
    void Renew();
    int32_t RunEvent() { return plug_.LastProcessEvent(event_.get(), engine_.get()); }

    HostCallCounts Counts() const;
    // The lines the host took during the last Renew .. now, in order.
    std::vector<simhost::LogRecord> Lines() const { return host_->framework.lines(); }

    // The host objects, as interface pointers the floor calls through.
    IRkFramework* framework() { return &host_->framework; }
    IRkRuleEvent* event() { return event_.get(); }
    IRkRuleEngine* engine() { return engine_.get(); }
    IRkRuleTarget* target() { return target_.get(); }
    IRKMisKillingQuery_V2* trust() { return &host_->trust; }
    IRKEngCloudV2* cloud() { return &host_->cloud; }
    IRKCache* fileCache() { return &host_->fileCache; }
    IRKProcessTreeCache* processCache() { return &host_->processCache; }
    tierlock::RkItemRecord* dangerItem() { return &items_.front(); }
    bool Accepts(int32_t level) const {
        return policy_ == LogPolicy::AllAccepted || level != kInfo;
    }

    // Chain of four processes, top first: its pids and image paths.
    static constexpr uint32_t kChainPids[4] = {4, 40, 80, 100};
    static const char16_t* const kChainPaths[4];
    static const char16_t* const kDestination;
    static constexpr uint32_t kActingPid = 100;
    static constexpr uint32_t kParentPid = 80;

    simhost::RuleTarget& targetObject() { return *target_; }
    // Whether the host's services keep a record of their calls (see simhost::Recording).
    void RecordCalls(bool on) {
        for (simhost::Recording* service : {static_cast<simhost::Recording*>(&host_->framework),
                                            static_cast<simhost::Recording*>(&host_->trust),
                                            static_cast<simhost::Recording*>(&host_->cloud),
                                            static_cast<simhost::Recording*>(&host_->fileCache)}) {
            service->Record(on);
        }
    }

  private:
    struct HostServices {
        simhost::Framework framework;
        simhost::TrustQueryV2 trust;
        simhost::CloudEngine cloud;
        simhost::CacheService fileCache;
        simhost::ProcessCache processCache;
    };
    void BuildItems();
    // New host services with what the host knows about the four processes, and the plug-in
    // initialised with them.
    void StartHost(const std::string& config);

    LogPolicy policy_;
    uint32_t ruleId_;
    std::string config_;  // kept only when the services are renewed
    std::unique_ptr<HostServices> host_;
    IASBundle* targetBundle_ = nullptr;
    std::vector<IRKScanItem*> scanItems_;
    std::deque<tierlock::RkItemRecord> items_;
    std::unique_ptr<simhost::RuleEvent> event_;
    std::unique_ptr<simhost::RuleTarget> target_;
    std::unique_ptr<simhost::RuleEngine> engine_;
    tierlock::Tierlock plug_;
};

}  // namespace bench
