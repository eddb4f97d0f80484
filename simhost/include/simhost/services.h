// Host services that Init collects: the process-information cache, the cloud engine and both
// versions of the trust (anti-false-positive) query. Each counts references and records calls.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "abi/host.h"
#include "simhost/counted.h"

namespace simhost {

class ProcessTree;

// A service that notes, at each call, how many roots of a watched process tree were held: a
// plug-in must give its tree snapshot back before it waits on another service.
class TreeWatch {
  public:
    void WatchTree(const ProcessTree* tree) { watched_ = tree; }

  protected:
    uint32_t HeldRootsNow() const;  // 0 when no tree is watched

  private:
    const ProcessTree* watched_ = nullptr;
};

// Answers QueryFileInfo for the files it is told about, with their digests as hexadecimal texts
// ("FileMd5", "FileSha1"); an unknown file is answered false.
class CacheService final : public Counted<IRKCache>, public Recording {
  public:
    struct FileDigests {
        std::u16string md5;
        std::u16string sha1;
    };
    void AnswerFile(const std::u16string& path, FileDigests digests);

    bool RK_CALL QueryFileInfo(IASBundle* bundle) override;
    size_t calls() const { return calls_.load(); }
    // The "FilePath" of every query, in order.
    std::vector<std::u16string> paths() const;
    // Forgets the paths recorded so far, for a long run.
    void ClearRecords();

  private:
    std::atomic<size_t> calls_{0};
    mutable std::mutex mutex_;
    std::map<std::u16string, FileDigests> files_;
    std::vector<std::u16string> paths_;
};

// Integer entries of a parameter bundle by key: (type code, value).
using BundleNumbers = std::map<std::string, std::pair<uint32_t, uint64_t>>;
BundleNumbers ReadBundleNumbers(IASBundle* bundle);

// The cloud engine: fills each item's level and sub-level from what it knows about the item's
// path (0.0 for paths it does not know) and answers true, or false when told to fail.
class CloudEngine final : public Counted<IRKEngCloudV2>, public TreeWatch, public Recording {
  public:
    struct Level {
        int32_t level = 0;
        int32_t subLevel = 0;
    };
    struct Item {
        std::optional<std::u16string> path;  // empty for a null item or an item without path
        uint32_t value2 = 0;
    };
    struct Call {
        BundleNumbers parameters;
        std::vector<Item> items;  // as many as "ItemCount" says
        uint32_t heldRoots = 0;
    };

    void Answer(const std::u16string& path, Level level);
    // A failing engine still fills the levels it knows, as a query cut short might, so that a
    // test sees whether the plug-in uses them anyway.
    void SetFailing(bool failing);
    std::vector<Call> calls() const;

    bool RK_CALL QueryItemList(IRKScanItem** items, IASBundle* params) override;

  private:
    mutable std::mutex mutex_;
    std::map<std::u16string, Level> levels_;
    bool failing_ = false;
    std::vector<Call> calls_;
};

// What the trust service is told to answer for a path (after any path mapping).
struct TrustVerdict {
    bool result = false;
    uint8_t skip = 0;
    uint32_t matchType = 0;
    // A service that answers without touching the match type leaves the caller's in-value.
    bool keepsMatchType = false;
};

template <class Query>
class TrustQueryBase : public Counted<Query>, public TreeWatch, public Recording {
  public:
    void Answer(const std::u16string& path, TrustVerdict verdict) {
        std::lock_guard lock(mutex_);
        verdicts_[path] = verdict;
    }

  protected:
    TrustVerdict Lookup(const char16_t* path) {
        auto it = verdicts_.find(path ? path : u"");
        return it == verdicts_.end() ? TrustVerdict{} : it->second;
    }
    static bool Reply(const TrustVerdict& verdict, uint8_t* skip, uint32_t* matchType) {
        if (skip) {
            *skip = verdict.skip;
        }
        if (matchType && !verdict.keepsMatchType) {
            *matchType = verdict.matchType;
        }
        return verdict.result;
    }

    mutable std::mutex mutex_;
    std::map<std::u16string, TrustVerdict> verdicts_;
};

class TrustQueryV1 final : public TrustQueryBase<IRKMisKillingQuery> {
  public:
    struct Call {
        std::u16string path;
        int32_t subLevel;
        int32_t reserved;
        uint8_t skipOnEntry;
        uint32_t matchTypeOnEntry;
        uint32_t heldRoots;
    };
    std::vector<Call> calls() const;

    bool RK_CALL IsCanSkipReport(const char16_t* path, int32_t subLevel, int32_t reserved,
                                 uint8_t* skip, uint32_t* matchType) override;

  private:
    std::vector<Call> calls_;
};

class TrustQueryV2 final : public TrustQueryBase<IRKMisKillingQuery_V2> {
  public:
    struct Call {
        std::u16string path;
        BundleNumbers parameters;
        uint8_t skipOnEntry;
        uint32_t matchTypeOnEntry;
        uint32_t heldRoots;
    };
    std::vector<Call> calls() const;

    bool RK_CALL IsCanSkipReport(const char16_t* path, IASBundle* params, uint8_t* skip,
                                 uint32_t* matchType) override;

  private:
    std::vector<Call> calls_;
};

}  // namespace simhost
