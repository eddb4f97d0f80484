// The process tree helper driven through the simulated host tree.
#include <string>
#include <vector>

#include "platform/paths.h"
#ifndef _WIN32
#include "platform/substitute.h"
#endif
#include "platform/windows_directory.h"
#include "proc_tree_fixture.h"

namespace {

using simhost::TreeOp;

TEST_F(ProcTreeTest, WalksParentsAndHostileTrees) {
    // A root without a pid is skipped, its children are not.
    const Proc root = Add(u"", 0, 0, 0);
    const Proc a = Add(u"C:\\a.exe", root.id, 11);
    const Proc a1 = Add(u"C:\\a1.exe", a.id, 22);
    const Proc b = Add(u"C:\\b.exe", root.id);
    const uint32_t held = Hold(a);
    std::vector<uint32_t> nodes = {7};  // appended to, not cleared
    EXPECT_TRUE(helper_->GetAllNodePtr(held, root.id, nodes));
    EXPECT_EQ(nodes, (std::vector<uint32_t>{7, a.ptr, a1.ptr, b.ptr}));
    uint32_t pid = 0;
    EXPECT_TRUE(helper_->GetRootPid(held, a1.id, pid));
    EXPECT_EQ(pid, a1.pid);
    // A root nobody holds has no nodes.
    const Proc other = Add(u"C:\\other.exe");
    EXPECT_FALSE(helper_->GetAllNodePtr(Tree().RootOffsetOf(other.id), other.id, nodes));

    // A node listed among its own descendants, and a node claiming four billion children.
    const Proc top = Add(u"C:\\top.exe");
    Tree().LinkChild(Add(u"C:\\child.exe", top.id).id, top.id);
    const Proc liar = Add(u"C:\\liar.exe");
    Tree().SetChildCountAnswer(liar.id, 0xFFFFFFFFu);
    for (const Proc& start : {top, liar}) {
        nodes.clear();
        EXPECT_FALSE(helper_->GetAllNodePtr(Hold(start), start.id, nodes));
        EXPECT_LE(nodes.size(), 65537u);
    }
    EXPECT_TRUE(HasLine(35, "GetChildNodes", u"节点数量异常,count=1"));

    // The root GetPPidByPid found is given back on the failing path too (TearDown checks).
    uint32_t ppid = 0;
    Tree().SetFailing(TreeOp::GetNodePtr, true);
    EXPECT_FALSE(helper_->GetPPidByPid(a1.pid, nullptr, ppid));
}

// The converted path, here longer than a fixed path buffer, is computed once, then read back.
TEST_F(ProcTreeTest, ConvertedPathIsComputedOnceThenReadFromTheTree) {
    const std::u16string tail = std::u16string(300, u'p') + u".exe";
    const std::u16string raw = WindowsDirectory() + u"\\System32\\" + tail;
    const std::u16string converted = WindowsDirectory() + u"\\sysnative\\" + tail;
    const Proc proc = Add(raw, 0, 777);
    const uint32_t held = Hold(proc);
    std::u16string path;
    // Without conversion the stored value is neither read nor written.
    EXPECT_TRUE(helper_->GetPathByRootOffset(held, proc.id, proc.pid, false, path));
    EXPECT_EQ(path, raw);
    EXPECT_TRUE(Tree().propertyAccesses().empty());
    // A failed store is only noted, with the creation time that names the process.
    Tree().SetFailing(TreeOp::SetNodeProperty, true);
    EXPECT_TRUE(helper_->GetPathByNodeOffset(held, proc.id, proc.ptr, proc.pid, true, path));
    EXPECT_EQ(path, converted);
    EXPECT_TRUE(HasLine(35, "GetPathByNodeOffset",
                        u"设置转换后的路径失败 ,pid=" + Num(proc.pid) +
                            u" ,create_time=777 ,Path=" + converted + u" ,len=" +
                            Num(converted.size())));
    Tree().SetFailing(TreeOp::SetNodeProperty, false);
    EXPECT_TRUE(helper_->GetPathByNodeOffset(held, proc.id, proc.ptr, proc.pid, true, path));
    EXPECT_EQ(Tree().Text(proc.id, "CURRENT_CONVERT_PATH"), converted);
    Tree().ClearCalls();
    path.clear();
    EXPECT_TRUE(helper_->GetPathByRootOffset(held, proc.id, proc.pid, true, path));
    EXPECT_EQ(path, converted);
    EXPECT_EQ(Tree().calls(TreeOp::GetNodePath) + Tree().calls(TreeOp::SetNodeProperty), 0u);
}

TEST_F(ProcTreeTest, UntrustedLengthsAndSizesAreRefused) {
    const Proc proc = Add(u"C:\\a.exe");
    const uint32_t held = Hold(proc);
    std::u16string path;
    for (uint32_t claim : {0u, 0xFFFFFFFFu, 0x40000000u}) {
        Tree().SetPathLengthAnswer(proc.id, claim);
        Tree().SetPropertySizeAnswer(proc.id, "CURRENT_CONVERT_PATH", claim);
        path = u"kept";
        EXPECT_FALSE(helper_->GetPathByNodeOffset(held, proc.id, proc.ptr, proc.pid, false, path));
        EXPECT_FALSE(helper_->GetPathByNodeOffset(held, proc.id, proc.ptr, proc.pid, true, path));
        EXPECT_EQ(path, u"kept");
        // A process without a path is common: no line for it, only for impossible lengths.
        EXPECT_EQ(HasLine(35, "GetPathByNodeOffset",
                          u"路径长度异常,pid=" + Num(proc.pid) + u" ,Len=" + Num(claim)),
                  claim != 0);
        EXPECT_TRUE(HasLine(35, "GetwstrValue",
                            claim == 0
                                ? u"未查找到有效数据,key=CURRENT_CONVERT_PATH ,Len=0"
                                : u"属性长度异常,key=CURRENT_CONVERT_PATH ,Len=" + Num(claim)));
    }

    // A path longer than any Windows path is refused before anything is allocated or copied.
    const Proc longest = Add(WindowsDirectory() + u"\\System32\\" + std::u16string(40000, u'q'));
    EXPECT_FALSE(helper_->GetPathByRootOffset(Hold(longest), longest.id, longest.pid, true, path));
    EXPECT_EQ(path, u"kept");
#ifndef _WIN32
    // A short name that grows past the room for the conversion keeps the raw path and is not
    // stored, where a bounded copy would have ended the host.
    tierlock::platform::SetSubstituteLongPathName(u"D:\\LONGNA~1",
                                                  u"D:\\" + std::u16string(200, u'n'));
    const Proc named = Add(u"D:\\LONGNA~1");
    framework_.ClearLog();
    EXPECT_FALSE(helper_->GetPathByRootOffset(Hold(named), named.id, named.pid, true, path));
    EXPECT_EQ(path, u"D:\\LONGNA~1");
    EXPECT_FALSE(Tree().Property(named.id, "CURRENT_CONVERT_PATH"));
    EXPECT_EQ(
        std::ranges::count(framework_.texts(), simhost::LogLine(30, "api_win::Api_GetLongPathName",
                                                                u"GetLongPathName USE WINAPI")),
        1);
    tierlock::platform::ClearSubstituteLongPathNames();
#endif

    // No memory for the text: said so, with the key.
    Tree().SetProperty(proc.id, "NAME", {'a', 0, 'b', 0, 'c'});
    tierlock::TreeHelperMemory::allocate = [](size_t) noexcept -> void* { return nullptr; };
    std::u16string value;
    EXPECT_FALSE(helper_->GetwstrValue(held, proc.id, proc.ptr, "NAME", value));
    tierlock::TreeHelperMemory::allocate = [](size_t bytes) noexcept { return std::malloc(bytes); };
    EXPECT_TRUE(HasLine(35, "GetwstrValue", u"申请内存失败,key=NAME ,Len=0"));
    // Stored text has no terminator; an odd last byte is dropped.
    EXPECT_TRUE(helper_->GetwstrValue(held, proc.id, proc.ptr, "NAME", value));
    EXPECT_EQ(value, u"ab");
}

// Levels are written as 4 bytes, never as 0 or -1. A value of the wrong width is no value, and
// a level that cannot be read stays as the caller set it.
TEST_F(ProcTreeTest, LevelWritesAndFixedLevelExpiry) {
    const Proc proc = Add(u"C:\\a.exe", 0, 99);
    const uint64_t time = 99;
    for (int32_t none : {0, -1}) {
        EXPECT_FALSE(helper_->SetLevelByPid(proc.pid, none, &time));
        EXPECT_FALSE(helper_->SetSubLevelByPid(proc.pid, none, &time));
    }
    EXPECT_TRUE(HasLine(30, "SetLevelByPid", u"无效level"));
    EXPECT_TRUE(HasLine(30, "SetSubLevelByPid", u"无效sublevel"));
    EXPECT_EQ(Tree().calls(TreeOp::SetNodeProperty), 0u);
    EXPECT_TRUE(helper_->SetLevelByPid(proc.pid, 70, &time));
    EXPECT_TRUE(helper_->SetSubLevelByPid(proc.pid, 3, &time));
    Tree().SetInt32(proc.id, "FIX_LEVEL", 10);
    Tree().SetProperty(proc.id, "FIX_SUB_LEVEL", {1, 0});  // two bytes of a 4-byte value

    // The expiry's edges are tested over both process routes; here its absence and its width.
    const uint32_t held = Hold(proc);
    enum Ttl { kNever, kAbsent, kNarrow };
    for (const auto& [ttl, fixed] : {std::pair{kNever, true}, {kAbsent, false}, {kNarrow, false}}) {
        int32_t level = -5, subLevel = -5;
        Tree().SetUInt64(proc.id, "FLVL_TTL", ~uint64_t{0});
        if (ttl == kAbsent) {
            Tree().RemoveProperty(proc.id, "FLVL_TTL");
        } else if (ttl == kNarrow) {
            Tree().SetInt32(proc.id, "FLVL_TTL", -1);  // four bytes of an 8-byte value
        }
        EXPECT_EQ(helper_->FixLevel_is_Exist_ByRootOffset(held, proc.id), fixed) << ttl;
        EXPECT_TRUE(helper_->GetLevelAndSubByRootOffset(held, proc.id, &level, &subLevel));
        EXPECT_EQ(std::pair(level, subLevel), fixed ? std::pair(10, -5) : std::pair(70, 3)) << ttl;
    }
    int32_t alone = -5;  // the pair is read into two places or not at all
    EXPECT_FALSE(helper_->GetLevelAndSubByRootOffset(held, proc.id, &alone, nullptr));
    EXPECT_EQ(alone, -5);
    Tree().SetFailing(TreeOp::SetNodeProperty, true);
    EXPECT_FALSE(helper_->SetLevelByPid(proc.pid, 70, &time));
}

}  // namespace
