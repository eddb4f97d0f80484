// Path normalisation natively against the substitute and under Wine against the real
// Windows functions; expectations are built from the Windows directory that is reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log.h"
#include "platform/paths.h"
#include "platform/windows_directory.h"
#include "simhost/framework.h"
#include "simhost/text.h"

namespace {

using namespace tierlock::platform;
using testing_paths::WindowsDirectory;

const std::u16string kLongPathLine =
    simhost::LogLine(30, "api_win::Api_GetLongPathName", u"GetLongPathName USE WINAPI");

// Runs System32ToSysnative from a separate source into a buffer of the given capacity.
struct Converted {
    bool ok;
    std::u16string text;
};
Converted ToSysnative(const std::u16string& source, size_t capacity = 1024) {
    std::vector<char16_t> destination(capacity, u'#');
    const bool ok = System32ToSysnative(source.c_str(), destination.data(), capacity);
    return {ok, std::u16string(destination.data())};
}

class Paths : public ::testing::Test {
  protected:
    void SetUp() override { tierlock::g_pFrame = &framework_; }
    void TearDown() override {
        tierlock::g_pFrame = nullptr;
        ClearSubstituteLongPathNames();
    }
    size_t LongPathLines() const {
        size_t count = 0;
        for (const auto& text : framework_.texts()) {
            count += text == kLongPathLine;
        }
        return count;
    }

    const std::u16string windows_ = WindowsDirectory();
    simhost::Framework framework_;
};

TEST_F(Paths, System32BecomesSysnative) {
    EXPECT_EQ(ToSysnative(windows_ + u"\\System32\\cmd.exe").text,
              windows_ + u"\\sysnative\\cmd.exe");
    EXPECT_TRUE(ToSysnative(windows_ + u"\\System32\\cmd.exe").ok);
    // The folder itself, with or without its backslash, becomes the folder with one.
    EXPECT_EQ(ToSysnative(windows_ + u"\\System32").text, windows_ + u"\\sysnative\\");
    EXPECT_EQ(ToSysnative(windows_ + u"\\System32\\").text, windows_ + u"\\sysnative\\");
    // The comparison ignores case; the tail keeps its own.
    EXPECT_EQ(ToSysnative(ToLowerAscii(windows_) + u"\\SYSTEM32\\X.dll").text,
              windows_ + u"\\sysnative\\X.dll");
    EXPECT_EQ(ToSysnative(windows_ + u"\\system32\\drivers\\etc\\hosts").text,
              windows_ + u"\\sysnative\\drivers\\etc\\hosts");
}

TEST_F(Paths, OtherPathsAreCopiedUnchanged) {
    for (const std::u16string& path :
         {std::u16string(u"D:\\tools\\a.exe"), windows_ + u"\\SysWOW64\\cmd.exe",
          windows_ + u"\\System32abc\\x.exe", windows_ + u"\\System3", u"\\\\?\\" + windows_}) {
        const Converted result = ToSysnative(path);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.text, path);
    }
}

TEST_F(Paths, SameBuffer) {
    std::u16string outside = u"D:\\tools\\a.exe";
    outside.resize(64);
    EXPECT_FALSE(System32ToSysnative(outside.data(), outside.data(), outside.size()));
    EXPECT_EQ(std::u16string(outside.c_str()), u"D:\\tools\\a.exe");

    std::u16string inside = windows_ + u"\\System32\\cmd.exe";
    inside.resize(inside.size() + 8);
    EXPECT_TRUE(System32ToSysnative(inside.data(), inside.data(), inside.size()));
    EXPECT_EQ(std::u16string(inside.c_str()), windows_ + u"\\sysnative\\cmd.exe");
}

TEST_F(Paths, LongPathsConvertOrAreRefusedWithoutOverrun) {
    for (size_t length : {300u, 40000u}) {
        const std::u16string folder = windows_ + u"\\System32\\";
        const std::u16string tail = std::u16string(length - folder.size() - 4, u'a') + u".exe";
        const std::u16string path = folder + tail;
        const Converted converted = ToSysnative(path, length + 8);
        EXPECT_TRUE(converted.ok);
        EXPECT_EQ(converted.text, windows_ + u"\\sysnative\\" + tail);

        // One character short for the longer folder name: refused, nothing half written.
        const Converted cut = ToSysnative(path, length + 1);
        EXPECT_FALSE(cut.ok);
        EXPECT_EQ(cut.text, u"");
        std::u16string same = path;
        EXPECT_FALSE(System32ToSysnative(same.data(), same.data(), same.size() + 1));
        EXPECT_EQ(same, path);

        // An unconverted path that does not fit is refused too.
        const std::u16string outside = u"D:\\" + tail;
        EXPECT_FALSE(ToSysnative(outside, outside.size()).ok);
        EXPECT_EQ(ToSysnative(outside, outside.size() + 1).text, outside);
    }
    EXPECT_FALSE(System32ToSysnative(u"D:\\a", nullptr, 10));
    char16_t none[1] = {u'#'};
    EXPECT_FALSE(System32ToSysnative(u"D:\\a", none, 0));
    EXPECT_EQ(none[0], u'#');
}

TEST_F(Paths, ShortNamesAreExpandedUnlessTheyBeginWithABackslash) {
#ifdef _WIN32
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(L"C:\\Program Files", shortName, MAX_PATH), 0u);
    const std::u16string source(reinterpret_cast<const char16_t*>(shortName));
    if (source.find(u'~') == std::u16string::npos) {
        GTEST_SKIP() << "no short name here";
    }
    const std::u16string expected = u"c:\\program files";
#else
    const std::u16string source = u"C:\\PROGRA~1";
    SetSubstituteLongPathName(source, u"C:\\Program Files");
    SetSubstituteLongPathName(u"C:\\WINDOW~1\\System32\\x.dll", u"C:\\Windows\\System32\\x.dll");
    EXPECT_EQ(ToSysnative(u"C:\\WINDOW~1\\System32\\x.dll").text, u"C:\\Windows\\sysnative\\x.dll");
    // An answer too long for the buffer is the size needed, not a path: the source is kept.
    SetSubstituteLongPathName(u"D:\\LONG~1", u"D:\\" + std::u16string(300, u'l'));
    EXPECT_EQ(ToSysnative(u"D:\\LONG~1").text, u"D:\\LONG~1");
    const std::u16string expected = u"c:\\program files";
#endif
    EXPECT_EQ(ToLowerAscii(ToSysnative(source).text), expected);
    // In place, the expanded text is what lands in the buffer.
    std::u16string same = source;
    same.resize(64);
    EXPECT_TRUE(System32ToSysnative(same.data(), same.data(), same.size()));
    EXPECT_EQ(ToLowerAscii(same.c_str()), expected);

    framework_.ClearLog();
    EXPECT_EQ(ToSysnative(u"\\\\?\\" + source).text, u"\\\\?\\" + source);
    EXPECT_EQ(ToSysnative(u"D:\\tools\\a.exe").text, u"D:\\tools\\a.exe");
    EXPECT_EQ(LongPathLines(), 0u);
}

TEST_F(Paths, ApiGetLongPathNameLogsAndAnswersTheLength) {
    char16_t buffer[kMaxPathChars] = {};
    EXPECT_EQ(api_win::Api_GetLongPathName(u"C:\\no\\such\\DIRECT~1\\x.exe", buffer), 0u);
    EXPECT_EQ(LongPathLines(), 1u);
#ifdef _WIN32
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(L"C:\\Program Files", shortName, MAX_PATH), 0u);
    const char16_t* source = reinterpret_cast<const char16_t*>(shortName);
#else
    SetSubstituteLongPathName(u"C:\\PROGRA~1", u"C:\\Program Files");
    const char16_t* source = u"C:\\PROGRA~1";
#endif
    EXPECT_EQ(api_win::Api_GetLongPathName(source, buffer), 16u);
    EXPECT_EQ(ToLowerAscii(buffer), u"c:\\program files");
}

TEST_F(Paths, SysnativeBecomesLoweredSystem32) {
    std::u16string output = u"untouched";
    EXPECT_TRUE(SysnativeToSystem32(windows_ + u"\\Sysnative\\Drivers\\x.sys", output));
    EXPECT_EQ(output, ToLowerAscii(windows_) + u"\\system32\\drivers\\x.sys");

    // The long-path prefix stays in front of the converted path.
    EXPECT_TRUE(SysnativeToSystem32(u"\\\\?\\" + windows_ + u"\\Sysnative\\a.exe", output));
    EXPECT_EQ(output, u"\\\\?\\" + ToLowerAscii(windows_) + u"\\system32\\a.exe");

    std::u16string same = windows_ + u"\\SYSNATIVE\\A.EXE";
    EXPECT_TRUE(SysnativeToSystem32(same, same));
    EXPECT_EQ(same, ToLowerAscii(windows_) + u"\\system32\\a.exe");
}

TEST_F(Paths, SysnativeToSystem32LeavesOtherPaths) {
    std::u16string output = u"untouched";
    // The folder itself: nothing follows, nothing changes.
    EXPECT_FALSE(SysnativeToSystem32(windows_ + u"\\Sysnative\\", output));
    EXPECT_EQ(output, u"untouched");
    EXPECT_FALSE(SysnativeToSystem32(u"", output));
    EXPECT_EQ(output, u"untouched");
    // Not found: the input in its own case.
    EXPECT_FALSE(SysnativeToSystem32(u"D:\\Tools\\Sysnative\\A.exe", output));
    EXPECT_EQ(output, u"D:\\Tools\\Sysnative\\A.exe");
    EXPECT_FALSE(SysnativeToSystem32(windows_ + u"\\Sysnative", output));
    EXPECT_EQ(output, windows_ + u"\\Sysnative");
}

TEST(StringConversions, MultiByteAndLowering) {
    EXPECT_EQ(MultiByteToWString("", 0), u"");
    EXPECT_EQ(MultiByteToWString("C:\\Tools\\a.exe", 0), u"C:\\Tools\\a.exe");
    EXPECT_EQ(MultiByteToWString(std::string("ab\0cd", 5), 0), u"ab");
    EXPECT_EQ(MultiByteToWString("\xE4\xB8\xAD\xE6\x96\x87 x", 65001), u"\u4e2d\u6587 x");
    EXPECT_EQ(ToLowerAscii(u"ABC xyz \u00C4\u017B [Z]@"), u"abc xyz \u00C4\u017B [z]@");
}

}  // namespace
