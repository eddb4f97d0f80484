// What the report tests share: the host's base component, items with their scan items, the
// event and the lines the host receives.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "abi/report_records.h"
#include "block_decoder.h"
#include "bundle/bundle.h"
#include "log/log.h"
#include "platform/text.h"
#include "platform/windows_directory.h"
#include "report/report_sources.h"
#include "simhost/base_component.h"
#include "simhost/framework.h"
#include "simhost/rule_objects.h"
#include "simhost/services.h"
#include "simhost/text.h"

namespace report_test {

constexpr int32_t kInfo = 30;
constexpr int32_t kError = 35;
constexpr int32_t kCore = 50;

// A path in the sysnative folder, and the system32 form the report gives it.
inline std::u16string Sysnative(const std::u16string& tail) {
    return WindowsDirectory() + u"\\Sysnative\\" + tail;
}
inline std::u16string System32(const std::u16string& tail) {
    return tierlock::platform::ToLowerAscii(WindowsDirectory() + u"\\system32\\" + tail);
}

// The component GetBaseComponent hands out; null when the host has none.
inline simhost::BaseComponent* g_component = nullptr;

inline IBaseComponent* GetTestBaseComponent() {
    if (g_component) {
        g_component->AddRef();
    }
    return g_component;
}

inline std::u16string HexOf(const Bytes& bytes) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text;
    for (uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

inline Bytes EntryBytes(const tierlock::TargetListEntry& entry) {
    const auto* begin = reinterpret_cast<const uint8_t*>(&entry);
    return Bytes(begin, begin + sizeof(entry));
}

class ReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tierlock::g_pFrame.Assign(&framework_);
        g_component = &component_;
        sources_.digests.getBaseComponent = &GetTestBaseComponent;
        sources_.digests.cache = &cache_;
        ASSERT_EQ(tierlock::CreateRkBundle(&bundle_), RK_S_OK);
    }
    void TearDown() override {
        bundle_->Release();
        tierlock::g_pFrame.Reset();
        g_component = nullptr;
        for (IRKScanItem* scanItem : scanItems_) {
            scanItem->Release();
        }
        EXPECT_EQ(component_.refs(), 0u);
        EXPECT_EQ(component_.underflows(), 0u);
        EXPECT_EQ(cache_.refs(), 0u);
    }

    // An item record of the given type whose scan item carries path (none when null).
    tierlock::RkItemRecord* Item(uint32_t type, const char16_t* path, uint32_t pid = 0) {
        IRKScanItem* scanItem = nullptr;
        EXPECT_EQ(tierlock::CreateScanItem(&scanItem), RK_S_OK);
        if (path) {
            scanItem->SetPath(path);
        }
        scanItems_.push_back(scanItem);
        items_.push_back(tierlock::RkItemRecord{type, pid, 0, 0, {0, 0}, scanItem});
        return &items_.back();
    }

    // A zero-filled entry, as the target list hands it to the writers.
    tierlock::TargetListEntry& Entry() {
        entries_.push_back(std::make_unique<tierlock::TargetListEntry>());
        std::memset(entries_.back().get(), 0, sizeof(tierlock::TargetListEntry));
        return *entries_.back();
    }

    // The block stored under key, which must carry the block tag and exactly its count of
    // entries.
    Bytes StoredBlock(const char16_t* key, size_t entrySize) {
        const Stored stored = ReadValue(bundle_, key);
        EXPECT_TRUE(stored.present);
        EXPECT_EQ(stored.tag, 4u);
        if (stored.bytes.size() < 4) {
            return {};
        }
        EXPECT_EQ(stored.bytes.size(), 4 + entrySize * U32At(stored.bytes, 0));
        return stored.bytes;
    }

    bool HasLine(int32_t level, const char* tag, const std::u16string& message) const {
        const auto texts = framework_.texts();
        const auto line = simhost::LogLine(level, tag, message);
        return std::find(texts.begin(), texts.end(), line) != texts.end();
    }
    size_t LinesTagged(const char* tag) const { return framework_.textsTagged(tag).size(); }

    simhost::Framework framework_;
    simhost::BaseComponent component_;
    simhost::CacheService cache_;
    IRkBundle* bundle_ = nullptr;  // the request
    tierlock::ReportSources sources_;
    simhost::RuleEvent event_;
    tierlock::RkEventRecord& record_ = event_.record;
    std::vector<IRKScanItem*> scanItems_;
    std::deque<tierlock::RkItemRecord> items_;
    std::vector<std::unique_ptr<tierlock::TargetListEntry>> entries_;
};

}  // namespace report_test
