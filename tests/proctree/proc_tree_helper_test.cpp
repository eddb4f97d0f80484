// The process tree helper driven through the simulated host tree.
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/windows_directory.h"
#include "proc_tree_fixture.h"

namespace {

using simhost::TreeOp;

std::u16string Num(uint64_t value) {
    return simhost::ToUtf16(std::to_string(value));
}

constexpr uint64_t kNever = ~uint64_t{0};

TEST_F(ProcTreeTest, CollectsNodesDepthFirstInChildOrder) {
    // A root without a pid is skipped, its children are not.
    const Proc root = Add(u"", 0, 0, 0);
    const Proc a = Add(u"C:\\a.exe", root.id);
    const Proc a1 = Add(u"C:\\a1.exe", a.id);
    const Proc b = Add(u"C:\\b.exe", root.id);
    const uint32_t held = Hold(a);

    std::vector<uint32_t> nodes = {7};  // appended to, not cleared
    EXPECT_TRUE(helper_->GetAllNodePtr(held, root.id, nodes));
    const std::vector<uint32_t> expected = {7, Tree().NodePtrOf(a.id), Tree().NodePtrOf(a1.id),
                                            Tree().NodePtrOf(b.id)};
    EXPECT_EQ(nodes, expected);
    EXPECT_TRUE(HasLine(
        30, "GetChildNodes",
        u"插入节点 pid=" + Num(a1.pid) + u" ponint_offset=" + Num(Tree().NodePtrOf(a1.id))));
    EXPECT_TRUE(helper_->GetChildNodes(held, root.id, 0, nodes));
    EXPECT_EQ(nodes.size(), 4u);

    uint32_t pid = 0;
    EXPECT_TRUE(helper_->GetRootPid(held, a1.id, pid));
    EXPECT_EQ(pid, a1.pid);
    EXPECT_FALSE(helper_->GetRootPid(held, 0, pid));
    EXPECT_TRUE(HasLine(30, "GetRootPid", u"输入参数异常"));
    Release(held);

    // Released: the host no longer knows the root.
    EXPECT_FALSE(helper_->GetAllNodePtr(held, root.id, nodes));
    EXPECT_TRUE(HasLine(35, "GetAllNodePtr", u"获取根节点失败"));
}

TEST_F(ProcTreeTest, HostileTreesEndTheWalk) {
    // A node listed among its own descendants, and a node claiming four billion children.
    const Proc top = Add(u"C:\\top.exe");
    const Proc child = Add(u"C:\\child.exe", top.id);
    Tree().LinkChild(child.id, top.id);
    const Proc liar = Add(u"C:\\liar.exe");
    Tree().SetChildCountAnswer(liar.id, 0xFFFFFFFFu);

    for (const Proc& start : {top, liar}) {
        const uint32_t held = Hold(start);
        std::vector<uint32_t> nodes;
        EXPECT_FALSE(helper_->GetAllNodePtr(held, start.id, nodes));
        EXPECT_LE(nodes.size(), 65537u);
        Release(held);
    }
    EXPECT_TRUE(HasLine(35, "GetChildNodes", u"节点数量异常,count=1"));
}

TEST_F(ProcTreeTest, ParentPidAndFindNode) {
    const Proc parent = Add(u"C:\\parent.exe", 0, 11);
    const Proc child = Add(u"C:\\child.exe", parent.id, 22);
    const uint64_t childTime = 22;
    const uint64_t wrongTime = 23;

    uint32_t ppid = 0;
    EXPECT_TRUE(helper_->GetPPidByPid(child.pid, &childTime, ppid));
    EXPECT_EQ(ppid, parent.pid);
    EXPECT_TRUE(HasLine(30, "FindNode", u"查找节点成功,pid=" + Num(child.pid)));

    EXPECT_FALSE(helper_->GetPPidByPid(child.pid, &wrongTime, ppid));
    EXPECT_TRUE(HasLine(35, "FindNode", u"查找节点失败,pid=" + Num(child.pid)));
    EXPECT_TRUE(HasLine(35, "GetPPidByPid", u"未查找到目标进程,pid=" + Num(child.pid)));

    // The root found is given back on the failing path too (TearDown checks).
    Tree().SetFailing(TreeOp::GetNodePtr, true);
    EXPECT_FALSE(helper_->GetPPidByPid(child.pid, nullptr, ppid));
    EXPECT_TRUE(HasLine(35, "GetPPidByPid", u"获取根节点失败"));
    EXPECT_EQ(Tree().calls(TreeOp::ReleaseRoot), 2u);
}

TEST_F(ProcTreeTest, PathWithoutConversionLeavesTheCacheAlone) {
    const Proc proc = Add(u"C:\\Tools\\a.exe");
    Tree().SetText(proc.id, "CURRENT_CONVERT_PATH", u"stale");
    const uint32_t held = Hold(proc);
    std::u16string path;
    EXPECT_TRUE(helper_->GetPathByRootOffset(held, proc.id, proc.pid, false, path));
    EXPECT_EQ(path, u"C:\\Tools\\a.exe");
    EXPECT_TRUE(HasLine(30, "GetPathByNodeOffset",
                        u"获取进程路径成功 pid=" + Num(proc.pid) + u" ,Path=C:\\Tools\\a.exe"));
    EXPECT_TRUE(Tree().propertyAccesses().empty());
    EXPECT_FALSE(helper_->GetPathByRootOffset(held, proc.id, 0, false, path));
    EXPECT_TRUE(HasLine(30, "GetPathByRootOffset", u"输入参数异常"));
    Release(held);
}

TEST_F(ProcTreeTest, ConvertedPathIsComputedOnceThenReadFromTheTree) {
    const std::u16string windows = testing_paths::WindowsDirectory();
    const Proc proc = Add(windows + u"\\System32\\cmd.exe", 0, 777);
    const std::u16string converted = windows + u"\\sysnative\\cmd.exe";
    const uint32_t held = Hold(proc);
    const uint32_t ptr = Tree().NodePtrOf(proc.id);
    const std::u16string pid = Num(proc.pid);

    std::u16string path;
    EXPECT_TRUE(helper_->GetPathByNodeOffset(held, proc.id, ptr, proc.pid, true, path));
    EXPECT_EQ(path, converted);
    EXPECT_EQ(Tree().Text(proc.id, "CURRENT_CONVERT_PATH"), converted);
    EXPECT_TRUE(HasLine(35, "GetPathByNodeOffset", u"目标读取失败 key= CONVERT_PATH ,pid=" + pid));
    EXPECT_TRUE(HasLine(30, "GetPathByNodeOffset",
                        u"成功设置转换后的路径  ,pid=" + pid + u" ,create_time=777 ,Path=" +
                            converted + u" ,len=" + Num(converted.size())));

    Tree().ClearCalls();
    path.clear();
    EXPECT_TRUE(helper_->GetPathByNodeOffset(held, proc.id, ptr, proc.pid, true, path));
    EXPECT_EQ(path, converted);
    EXPECT_EQ(Tree().calls(TreeOp::GetNodePath), 0u);
    EXPECT_EQ(Tree().calls(TreeOp::SetNodeProperty), 0u);
    EXPECT_TRUE(HasLine(30, "GetPathByNodeOffset",
                        u"成功读取 key= CONVERT_PATH ,pid=" + pid + u" ,value=" + converted));
    Release(held);
}

TEST_F(ProcTreeTest, FailedStoreOrConversionOfThePath) {
    const Proc outside = Add(u"D:\\tools\\a.exe", 0, 5);
    uint32_t held = Hold(outside);
    std::u16string path;
    // A path outside the system folder is its own converted form; a failed store is only noted.
    Tree().SetFailing(TreeOp::SetNodeProperty, true);
    EXPECT_TRUE(helper_->GetPathByRootOffset(held, outside.id, outside.pid, true, path));
    EXPECT_EQ(path, u"D:\\tools\\a.exe");
    EXPECT_TRUE(HasLine(35, "GetPathByNodeOffset",
                        u"设置转换后的路径失败 ,pid=" + Num(outside.pid) +
                            u" ,create_time=5 ,Path=D:\\tools\\a.exe ,len=14"));
    Release(held);

#ifndef _WIN32
    // A short name that grows past the room for the conversion: the answer is false and keeps
    // the raw path, where a bounded copy would have ended the host.
    const std::u16string longName = u"D:\\" + std::u16string(200, u'n');
    tierlock::platform::SetSubstituteLongPathName(u"D:\\LONGNA~1", longName);
    const Proc shortName = Add(u"D:\\LONGNA~1");
    held = Hold(shortName);
    path.clear();
    EXPECT_FALSE(helper_->GetPathByRootOffset(held, shortName.id, shortName.pid, true, path));
    EXPECT_EQ(path, u"D:\\LONGNA~1");
    EXPECT_TRUE(
        HasLine(35, "GetPathByNodeOffset",
                u"从节点信息获取路径失败  ,pid=" + Num(shortName.pid) + u" ,PathD:\\LONGNA~1"));
    EXPECT_FALSE(Tree().Property(shortName.id, "CURRENT_CONVERT_PATH"));
    tierlock::platform::ClearSubstituteLongPathNames();
    Release(held);
#endif
}

TEST_F(ProcTreeTest, LongPathsUnderTheSystemFolder) {
    const std::u16string windows = testing_paths::WindowsDirectory();
    const std::u16string tail = std::u16string(300, u'p') + u".exe";
    const Proc longer = Add(windows + u"\\System32\\" + tail);
    const Proc longest = Add(windows + u"\\System32\\" + std::u16string(40000, u'q'));
    uint32_t held = Hold(longer);
    std::u16string path;
    EXPECT_TRUE(helper_->GetPathByRootOffset(held, longer.id, longer.pid, true, path));
    EXPECT_EQ(path, windows + u"\\sysnative\\" + tail);
    Release(held);

    // Longer than any Windows path: refused before anything is allocated or copied.
    held = Hold(longest);
    path = u"before";
    EXPECT_FALSE(helper_->GetPathByRootOffset(held, longest.id, longest.pid, true, path));
    EXPECT_FALSE(helper_->GetPathByRootOffset(held, longest.id, longest.pid, false, path));
    EXPECT_EQ(path, u"before");
    EXPECT_TRUE(HasLine(35, "GetPathByNodeOffset",
                        u"从节点信息获取路径失败  ,pid=" + Num(longest.pid) + u" ,Pathbefore"));
    Release(held);
}

TEST_F(ProcTreeTest, UntrustedLengthsAndSizesAreRefused) {
    const Proc proc = Add(u"C:\\a.exe");
    Tree().SetInt32(proc.id, "LEVEL", 70);
    const uint32_t held = Hold(proc);
    const uint32_t ptr = Tree().NodePtrOf(proc.id);
    for (uint32_t claim : {0u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x40000000u}) {
        framework_.ClearLog();
        Tree().SetPathLengthAnswer(proc.id, claim);
        Tree().SetPropertySizeAnswer(proc.id, "CURRENT_CONVERT_PATH", claim);
        std::u16string path = u"kept";
        EXPECT_FALSE(helper_->GetPathByNodeOffset(held, proc.id, ptr, proc.pid, false, path));
        EXPECT_FALSE(helper_->GetPathByNodeOffset(held, proc.id, ptr, proc.pid, true, path));
        EXPECT_EQ(path, u"kept");
        EXPECT_TRUE(HasLine(35, "GetPathByNodeOffset",
                            u"路径长度异常,pid=" + Num(proc.pid) + u" ,Len=" + Num(claim)));
        EXPECT_TRUE(HasLine(35, "GetwstrValue",
                            claim == 0
                                ? u"未查找到有效数据,key=CURRENT_CONVERT_PATH ,Len=0"
                                : u"属性长度异常,key=CURRENT_CONVERT_PATH ,Len=" + Num(claim)));
    }
    Tree().SetPathLengthAnswer(proc.id, std::nullopt);
    Tree().SetPropertySizeAnswer(proc.id, "CURRENT_CONVERT_PATH", std::nullopt);

    // A value of the wrong width is no value: two bytes for a 4-byte level, 4 for the 8-byte TTL.
    Tree().SetProperty(proc.id, "SUB_LEVEL", {3, 0});
    Tree().SetInt32(proc.id, "FLVL_TTL", -1);
    int32_t level = -5;
    int32_t subLevel = -5;
    EXPECT_TRUE(helper_->GetLevelAndSubByNodeOffset(held, proc.id, ptr, &level, &subLevel));
    EXPECT_EQ(level, 70);
    EXPECT_EQ(subLevel, -5);
    EXPECT_TRUE(HasLine(35, "GetIntValue", u"Key=SUB_LEVEL ,获取属性失败"));
    EXPECT_TRUE(HasLine(35, "GetInt64Value", u"Key=FLVL_TTL ,获取属性失败"));
    Release(held);
}

TEST_F(ProcTreeTest, StoredTextIsReadWithoutATerminator) {
    const Proc proc = Add(u"C:\\a.exe");
    Tree().SetProperty(proc.id, "NAME", {'a', 0, 'b', 0, 'c'});  // an odd byte is dropped
    const uint32_t held = Hold(proc);
    std::u16string value;
    EXPECT_TRUE(helper_->GetwstrValue(held, proc.id, Tree().NodePtrOf(proc.id), "NAME", value));
    EXPECT_EQ(value, u"ab");
    EXPECT_TRUE(HasLine(30, "GetwstrValue", u"成功获取到有效数据,key=NAME ,Len5 ,Len=5 ,value=ab"));
    Release(held);
}

// The fixed pair is in force while its expiry is not before the current second.
TEST_F(ProcTreeTest, FixedLevelExpiry) {
    const Proc proc = Add(u"C:\\a.exe");
    Tree().SetInt32(proc.id, "LEVEL", 70);
    Tree().SetInt32(proc.id, "SUB_LEVEL", 3);
    Tree().SetInt32(proc.id, "FIX_LEVEL", 10);
    Tree().SetInt32(proc.id, "FIX_SUB_LEVEL", 1);
    const uint32_t held = Hold(proc);

    struct Answer {
        bool exists;
        int32_t level;
        int32_t subLevel;
    };
    auto read = [&] {
        Answer answer = {helper_->FixLevel_is_Exist_ByRootOffset(held, proc.id), 0, 0};
        EXPECT_TRUE(
            helper_->GetLevelAndSubByRootOffset(held, proc.id, &answer.level, &answer.subLevel));
        return answer;
    };
    // With the real clock the second may turn between the setting and the reading: retry then.
    auto atNow = [&](int64_t delta) {
        for (;;) {
            const uint64_t now = tierlock::platform::CurrentUnixSeconds();
            Tree().SetUInt64(proc.id, "FLVL_TTL", now + delta);
            const Answer answer = read();
            if (tierlock::platform::CurrentUnixSeconds() == now) {
                return answer;
            }
        }
    };

    Answer answer = atNow(0);
    EXPECT_TRUE(answer.exists);
    EXPECT_EQ(answer.level, 10);
    EXPECT_EQ(answer.subLevel, 1);
    answer = atNow(-1);
    EXPECT_FALSE(answer.exists);
    EXPECT_EQ(answer.level, 70);
    EXPECT_EQ(answer.subLevel, 3);
    EXPECT_TRUE(HasLine(30, "FixLevel_is_Exist_ByRootOffset", u"不存在有效的fixlevel"));

    Tree().SetUInt64(proc.id, "FLVL_TTL", kNever);
    answer = read();
    EXPECT_TRUE(answer.exists);
    EXPECT_EQ(answer.level, 10);
    EXPECT_TRUE(HasLine(30, "FixLevel_is_Exist_ByRootOffset", u"存在有效的fixlevel"));
    EXPECT_TRUE(HasLine(30, "GetLevelAndSubByNodeOffset", u"成功读取 key=LEVEL ,level=10"));
    EXPECT_TRUE(HasLine(30, "GetLevelAndSubByNodeOffset", u"成功读取 key=SUB_LEVEL ,sublevel=1"));

    Tree().RemoveProperty(proc.id, "FLVL_TTL");
    EXPECT_EQ(read().level, 70);
    EXPECT_TRUE(
        HasLine(30, "isValidFixLevel", u"不存在key=FLVL_TTL,因此FixLevel和FixSubLevel是无效的"));

    // Without any level the answer is still true and the caller's values stay.
    const Proc bare = Add(u"C:\\b.exe");
    const uint32_t bareHeld = Hold(bare);
    int32_t level = -7;
    int32_t subLevel = -7;
    EXPECT_TRUE(helper_->GetLevelAndSubByNodeOffset(bareHeld, bare.id, Tree().NodePtrOf(bare.id),
                                                    &level, &subLevel));
    EXPECT_EQ(level, -7);
    EXPECT_EQ(subLevel, -7);
    EXPECT_FALSE(helper_->GetLevelAndSubByRootOffset(bareHeld, bare.id, &level, nullptr));
    EXPECT_TRUE(HasLine(30, "GetLevelAndSubByRootOffset", u"输入参数异常"));
    Release(bareHeld);
    Release(held);
}

#ifndef _WIN32
TEST_F(ProcTreeTest, FixedLevelLogLinesCarryBothTimes) {
    tierlock::platform::SetSubstituteUnixSeconds(1000);
    const Proc proc = Add(u"C:\\a.exe");
    Tree().SetUInt64(proc.id, "FLVL_TTL", 999);
    const uint32_t held = Hold(proc);
    EXPECT_FALSE(helper_->isValidFixLevel(held, proc.id, Tree().NodePtrOf(proc.id)));
    Tree().SetUInt64(proc.id, "FLVL_TTL", 1000);
    EXPECT_TRUE(helper_->isValidFixLevel(held, proc.id, Tree().NodePtrOf(proc.id)));
    tierlock::platform::SetSubstituteUnixSeconds(std::nullopt);
    EXPECT_TRUE(HasLine(30, "isValidFixLevel",
                        u"存在key=FLVL_TTL,但是是无效的 FLVL_TTL=999 ,当前时间=1000"));
    EXPECT_TRUE(HasLine(30, "isValidFixLevel",
                        u"存在key=FLVL_TTL,并且是有效的 FLVL_TTL=1000 ,当前时间=1000"));
    EXPECT_TRUE(HasLine(30, "GetInt64Value", u"Key=FLVL_TTL ,value=1000"));
    Release(held);
}
#endif

TEST_F(ProcTreeTest, LevelWritesRefuseNoLevel) {
    const Proc proc = Add(u"C:\\a.exe", 0, 99);
    const uint64_t time = 99;
    EXPECT_FALSE(helper_->SetSubLevelByPid(proc.pid, 0, &time));
    EXPECT_FALSE(helper_->SetLevelByPid(proc.pid, -1, &time));
    EXPECT_TRUE(HasLine(30, "SetSubLevelByPid", u"无效sublevel"));
    EXPECT_TRUE(HasLine(30, "SetLevelByPid", u"无效level"));
    EXPECT_EQ(Tree().calls(TreeOp::SetNodeProperty), 0u);

    EXPECT_TRUE(helper_->SetSubLevelByPid(proc.pid, 3, &time));
    EXPECT_TRUE(helper_->SetLevelByPid(proc.pid, 70, &time));
    EXPECT_EQ(Tree().Property(proc.id, "SUB_LEVEL"), (std::vector<uint8_t>{3, 0, 0, 0}));
    EXPECT_EQ(Tree().Property(proc.id, "LEVEL"), (std::vector<uint8_t>{70, 0, 0, 0}));

    EXPECT_TRUE(helper_->SetPropByPid(proc.pid, u"D:\\x", &time));
    EXPECT_EQ(Tree().Text(proc.id, "CURRENT_CONVERT_PATH"), u"D:\\x");
    Tree().SetFailing(TreeOp::SetNodeProperty, true);
    EXPECT_FALSE(helper_->SetLevelByPid(proc.pid, 70, &time));
}

}  // namespace
