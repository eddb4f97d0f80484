// Event inputs against the simulated rule engine and target: target lookup, the settled-event
// flags and the items by type mask, with the lines the host receives.
#include <deque>

#include "engine/engine.h"
#include "levels/level_fixture.h"
#include "report/report.h"

namespace {

using simhost::LogLine;
using tierlock::RkItemRecord;

class EventInputs : public level_test::LevelTest {
  protected:
    void TearDown() override {
        for (IRKScanItem* scanItem : scanItems_) {
            scanItem->Release();
        }
        LevelTest::TearDown();
    }

    // An item of the given type whose scan item carries path.
    RkItemRecord* AddItem(uint32_t type, const char16_t* path) {
        IRKScanItem* scanItem = nullptr;
        EXPECT_EQ(tierlock::CreateScanItem(&scanItem), RK_S_OK);
        scanItem->SetPath(path);
        scanItems_.push_back(scanItem);
        records_.push_back(RkItemRecord{type, 100 + type, 0, 7, {0, 0}, scanItem});
        target_.items[type] = &records_.back();
        return &records_.back();
    }

    std::vector<uint32_t> RequestedTypes() const {
        std::vector<uint32_t> types;
        for (const auto& request : target_.itemRequests()) {
            types.push_back(request.type);
        }
        return types;
    }

    std::vector<IRKScanItem*> scanItems_;
    std::deque<RkItemRecord> records_;
};

TEST_F(EventInputs, TargetComesFromTheRuleEngine) {
    simhost::RuleEngine engine(&target_);
    EXPECT_EQ(tierlock::GetTarget(&engine), &target_);
    EXPECT_TRUE(framework_.lines().empty());

    simhost::RuleEngine empty(nullptr);
    EXPECT_EQ(tierlock::GetTarget(&empty), nullptr);
    EXPECT_EQ(tierlock::GetTarget(nullptr), nullptr);
    const auto error = LogLine(35, "GetTarget", u"GetTargetV2 error: ruleEng");
    EXPECT_EQ(framework_.texts(), (std::vector<std::u16string>{error, error}));
}

TEST_F(EventInputs, PassAndDangerFlags) {
    EXPECT_FALSE(tierlock::isPassEvent(nullptr));
    EXPECT_FALSE(tierlock::isDangerousEvent(nullptr));
    EXPECT_TRUE(framework_.lines().empty());

    EXPECT_FALSE(tierlock::isPassEvent(&target_));  // status 0, value 0
    target_.properties[4] = {RK_S_OK, 3};
    target_.properties[2] = {static_cast<int32_t>(0x80004005), 1};
    EXPECT_TRUE(tierlock::isPassEvent(&target_));
    EXPECT_FALSE(tierlock::isDangerousEvent(&target_));
    target_.properties[2] = {RK_S_OK, 1};
    EXPECT_TRUE(tierlock::isDangerousEvent(&target_));

    // Each flag is one read of its own property, preset to four bytes.
    EXPECT_EQ(target_.propertyReads(), (std::vector<uint32_t>{4, 4, 2, 2}));
    EXPECT_EQ(framework_.texts(),
              (std::vector<std::u16string>{
                  LogLine(30, "isPassEvent", u"GetProperty isPassEvent=0"),
                  LogLine(30, "isPassEvent", u"GetProperty isPassEvent=3"),
                  LogLine(35, "isDangerousEvent", u"GetProperty Fail,ret=0x80004005"),
                  LogLine(30, "isDangerousEvent", u"GetProperty isDangerousEvent=1"),
              }));
}

TEST_F(EventInputs, ItemsByMaskInWalkOrder) {
    target_.srcPath = u"C:\\src.exe";
    target_.dstPath = u"C:\\dst.txt";
    RkItemRecord* dangerous = AddItem(0xFFFF, u"C:\\danger.exe");
    RkItemRecord* source = AddItem(1, u"C:\\src.exe");
    RkItemRecord* destination = AddItem(8, u"C:\\dst.txt");
    RkItemRecord* type16 = AddItem(16, u"C:\\16");
    RkItemRecord* high = AddItem(0x80000000u, u"C:\\high");

    std::vector<RkItemRecord*> items;
    EXPECT_FALSE(tierlock::GetTargetItemByType(&target_, 0, items));
    EXPECT_TRUE(target_.itemRequests().empty());

    EXPECT_TRUE(tierlock::GetTargetItemByType(&target_, 24, items));
    EXPECT_EQ(items, (std::vector<RkItemRecord*>{destination, type16}));
    EXPECT_EQ(target_.itemRequests()[0].path, std::u16string(u"C:\\dst.txt"));
    EXPECT_FALSE(target_.itemRequests()[1].path.has_value());

    items.clear();
    EXPECT_TRUE(tierlock::GetTargetItemByType(&target_, 0xFFFF, items));
    EXPECT_EQ(items, (std::vector<RkItemRecord*>{dangerous, source, destination, type16}));

    items.clear();
    EXPECT_TRUE(tierlock::GetTargetItemByType(&target_, 0x80000001u, items));
    EXPECT_EQ(items, (std::vector<RkItemRecord*>{source, high}));
    EXPECT_EQ(RequestedTypes(),
              (std::vector<uint32_t>{8, 16, 0xFFFF, 1, 2, 4, 8, 16, 32, 64, 1, 0x80000000u}));
    // The source item is asked for with the source path.
    EXPECT_EQ(target_.itemRequests()[3].path, std::u16string(u"C:\\src.exe"));
}

TEST_F(EventInputs, ItemLinesAndItemsWithoutScanItem) {
    RkItemRecord bare{2, 5, 0, 0, {0, 0}, nullptr};
    target_.items[2] = &bare;
    std::vector<RkItemRecord*> items;
    EXPECT_TRUE(tierlock::GetTargetItemByType(&target_, 3, items));
    const auto lines = framework_.texts();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              LogLine(30, "GetTargetItemByType", u"type=3 supportTypes[0]=1 pItemTmp=0x0"));
    EXPECT_EQ(lines[2], LogLine(30, "GetTargetItemByType", u"GetItem path= type=2 "));

    // Items already in the list count; nothing is removed.
    EXPECT_TRUE(tierlock::GetTargetItemByType(&target_, 0, items));
    EXPECT_TRUE(tierlock::GetTargetItemByType(nullptr, 3, items));
    EXPECT_EQ(items.size(), 1u);
}

}  // namespace
