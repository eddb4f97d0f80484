// The counted report blocks and their fixed fields, decoded by byte offset as the host reads
// them: sizes, the count, and texts and data cut to their fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "block_decoder.h"
#include "report/report_block.h"

namespace {

using namespace report_test;

template <class Block>
Bytes BytesOf(const Block& block) {
    const auto* begin = static_cast<const uint8_t*>(block.data());
    return Bytes(begin, begin + block.size());
}

TEST(ReportBlock, CountAndEntriesFollowEachOther) {
    tierlock::TargetListBlock list(2);
    ASSERT_TRUE(list);
    EXPECT_EQ(list.size(), 15540);
    list.entry(0).targetType = 0x80000002u;
    list.entry(1).handlingType = 5;
    list.entry(1).registry.valueType = 7;
    const Bytes bytes = BytesOf(list);
    EXPECT_EQ(U32At(bytes, 0), 2u);
    EXPECT_EQ(U32At(bytes, 4), 0x80000002u);
    EXPECT_EQ(U32At(bytes, 4 + 7768 + 12), 5u);
    EXPECT_EQ(U32At(bytes, 4 + 7768 + 5716), 7u);
    EXPECT_TRUE(AllZero(bytes, 8, 7768 - 4));

    tierlock::ProcessChainBlock chain(2);
    ASSERT_TRUE(chain);
    EXPECT_EQ(chain.size(), 1052);
    chain.entry(1).level = -1;
    EXPECT_EQ(I32At(BytesOf(chain), 4 + 524 + 520), -1);
}

TEST(ReportBlock, NoBlockForNothingOrTooMuch) {
    EXPECT_FALSE(tierlock::TargetListBlock(0));
    EXPECT_FALSE(tierlock::TargetListBlock(0x7FFFFFFF / 7768 + 1));
    EXPECT_EQ(tierlock::TargetListBlock(0).size(), 0);
}

TEST(ReportBlock, TextsAreCutToTheirFieldWithATerminator) {
    tierlock::TargetListBlock list(1);
    ASSERT_TRUE(list);
    auto& entry = list.entry(0);
    const std::u16string longPath = u"C:\\" + std::u16string(297, u'p');
    ASSERT_EQ(longPath.size(), 300u);
    tierlock::CopyTextField(entry.file.filePath, longPath.c_str());
    tierlock::CopyTextField(entry.file.firstExtraPath, std::u16string_view(longPath));
    tierlock::CopyTextField(entry.file.secondExtraPath, u"short");
    tierlock::CopyTextField(entry.riskName, static_cast<const char16_t*>(nullptr));
    tierlock::CopyTextField(entry.registry.keyName, std::u16string(2000, u'k'));

    const Bytes bytes = BytesOf(list);
    EXPECT_EQ(TextAt(bytes, 4 + 580, 260), longPath.substr(0, 259));
    EXPECT_EQ(TextAt(bytes, 4 + 1100, 260), longPath.substr(0, 259));
    EXPECT_EQ(TextAt(bytes, 4 + 1620, 260), u"short");
    EXPECT_TRUE(AllZero(bytes, 4 + 1620 + 10, 520 - 10));
    EXPECT_EQ(TextAt(bytes, 4 + 16, 260), u"");
    EXPECT_EQ(TextAt(bytes, 4 + 3668, 1024), std::u16string(1023, u'k'));
    EXPECT_EQ(tierlock::FieldText(entry.file.filePath), longPath.substr(0, 259));
}

TEST(ReportBlock, DataIsCutToItsField) {
    tierlock::TargetListBlock list(1);
    ASSERT_TRUE(list);
    std::string data(3000, 'x');
    data[1023] = 'y';
    auto& registry = list.entry(0).registry;
    tierlock::CopyDataField(registry.secondValueData, data.data(), 3000);
    tierlock::CopyDataField(registry.firstValueData, data.data(), 3);
    tierlock::CopyDataField(registry.firstValueData, nullptr, 3000);
    const Bytes bytes = BytesOf(list);
    EXPECT_EQ(bytes.size(), 4u + 7768u);  // nothing written past the entry
    EXPECT_EQ(bytes[4 + 6744 + 1023], 'y');
    EXPECT_EQ(BytesAt(bytes, 4 + 5720, 4), (Bytes{'x', 'x', 'x', 0}));
}

}  // namespace
