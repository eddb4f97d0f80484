// The process list block as the system library fills it, including damaged ones: the walk
// stays inside the block whatever its offsets and name pointers say.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "native/process_snapshot.h"

namespace {

using namespace tierlock::platform;
using namespace tierlock::native;

constexpr size_t kEntry = (sizeof(ProcessInformationEntry) + 7) & ~size_t{7};

class Block {
  public:
    explicit Block(size_t entries) : bytes_(entries * (kEntry + 32)) {}

    // Adds an entry whose name (if any) follows it in the block.
    ProcessInformationEntry& Add(uint32_t pid, const std::u16string& name) {
        const size_t offset = used_;
        auto* entry = reinterpret_cast<ProcessInformationEntry*>(bytes_.data() + offset);
        entry->uniqueProcessId = pid;
        entry->createTime = pid * 10;
        if (!name.empty()) {
            auto* text = reinterpret_cast<char16_t*>(bytes_.data() + offset + kEntry);
            std::memcpy(text, name.data(), name.size() * sizeof(char16_t));
            entry->imageNameBuffer = text;
            entry->imageNameLength = static_cast<uint16_t>(name.size() * sizeof(char16_t));
        }
        entry->nextEntryOffset = static_cast<uint32_t>(kEntry + 32);
        used_ += kEntry + 32;
        last_ = entry;
        return *entry;
    }
    void End() { last_->nextEntryOffset = 0; }

    std::vector<uint32_t> Pids(size_t size = SIZE_MAX) const {
        std::vector<uint32_t> pids;
        for (const auto& process : ReadProcessBlock(bytes_.data(), std::min(size, used_))) {
            pids.push_back(process->pid);
        }
        return pids;
    }
    ProcessList Read() const { return ReadProcessBlock(bytes_.data(), used_); }

  private:
    std::vector<unsigned char> bytes_;
    size_t used_ = 0;
    ProcessInformationEntry* last_ = nullptr;
};

TEST(ProcessBlock, WalkStopsAtTheLastEntryOrTheBlockEnd) {
    Block block(3);
    block.Add(4, u"System");
    block.Add(8, u"a.exe");
    block.Add(12, u"b.exe");
    block.End();
    EXPECT_EQ(block.Pids(), (std::vector<uint32_t>{4, 8, 12}));
    // A block cut short ends the walk at the last whole entry.
    EXPECT_EQ(block.Pids(2 * (kEntry + 32) + kEntry - 1), (std::vector<uint32_t>{4, 8}));
    EXPECT_TRUE(block.Pids(kEntry - 1).empty());

    // So does an offset past the block's end, and one that would carry the walk past the end
    // of a 32-bit address space (and, in a 32-bit build, back to the block's start).
    for (const uint64_t end : {0x80000000ull, 0x100000000ull}) {
        Block far(3);
        far.Add(4, u"System");
        far.Add(8, u"a.exe").nextEntryOffset = static_cast<uint32_t>(end - (kEntry + 32));
        far.Add(12, u"b.exe");
        far.End();
        EXPECT_EQ(far.Pids(), (std::vector<uint32_t>{4, 8}));
    }
}

TEST(ProcessBlock, NamesOnlyFromInsideTheBlock) {
    Block block(3);
    block.Add(4, u"System");
    static const char16_t outside[] = u"elsewhere.exe";
    ProcessInformationEntry& stray = block.Add(8, u"");
    stray.imageNameBuffer = outside;
    stray.imageNameLength = sizeof(outside) - 2;
    // A length longer than the block is cut at the block's end.
    block.Add(12, u"c.exe").imageNameLength = 0xFFFE;
    block.End();
    const ProcessList processes = block.Read();
    ASSERT_EQ(processes.size(), 3u);
    EXPECT_EQ(std::tuple(processes[0]->imageName, processes[1]->imageName, processes[2]->imageName,
                         processes[2]->createTime),
              std::tuple(u"System", u"", u"c.exe", 120u));
}

}  // namespace
