// Path normalisation natively against the substitute and under Wine against the real
// Windows functions; expectations are built from the Windows directory that is reported.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/text.h"
#include "platform/windows_directory.h"
#ifndef _WIN32
#include "platform/substitute.h"
#endif

namespace {

using namespace tierlock::platform;
using Result = std::pair<bool, std::u16string>;

// System32ToSysnative from a separate source into a buffer of the given capacity; a guard
// character past the capacity keeps the read of the result in bounds whatever was written.
Result ToSysnative(const std::u16string& source, size_t capacity = 1024,
                   bool* longPathAsked = nullptr) {
    std::vector<char16_t> destination(capacity + 1, u'#');
    destination.back() = u'\0';
    const bool ok =
        System32ToSysnative(source.c_str(), destination.data(), capacity, longPathAsked);
    return {ok, destination.data()};
}
Result InPlace(const std::u16string& source, size_t spare = 16) {
    std::u16string buffer = source;
    buffer.resize(source.size() + spare);
    const bool ok = System32ToSysnative(buffer.data(), buffer.data(), buffer.size());
    return {ok, buffer.c_str()};
}

class Paths : public ::testing::Test {
  protected:
#ifndef _WIN32
    void TearDown() override {
        ClearSubstituteLongPathNames();
    }
#endif

    const std::u16string windows_ = WindowsDirectory();
};

TEST_F(Paths, System32ToSysnative) {
    const std::u16string sysnative = windows_ + u"\\sysnative\\";
    const std::pair<std::u16string, std::u16string> cases[] = {
        {windows_ + u"\\System32\\cmd.exe", sysnative + u"cmd.exe"},
        // The folder itself, with or without its backslash, becomes the folder with one.
        {windows_ + u"\\System32", sysnative},
        {windows_ + u"\\System32\\", sysnative},
        // The comparison ignores case; the tail keeps its own.
        {ToLowerAscii(windows_) + u"\\SYSTEM32\\X.dll", sysnative + u"X.dll"},
        // Anything else (no expected text) is copied unchanged.
        {u"D:\\tools\\a.exe", {}},
        {windows_ + u"\\System32abc\\x.exe", {}},
        {windows_ + u"\\System3", {}},
        {u"\\\\?\\" + windows_ + u"\\System32\\a.exe", {}},
    };
    for (const auto& [source, converted] : cases) {
        const std::u16string expected = converted.empty() ? source : converted;
        EXPECT_EQ(ToSysnative(source), Result(true, expected));
        // In the same buffer, a path that needs no conversion answers false and stays.
        EXPECT_EQ(InPlace(source), Result(!converted.empty(), expected));
        bool longPathAsked = true;
        ToSysnative(source, 1024, &longPathAsked);
        EXPECT_FALSE(longPathAsked);  // no short name: nothing expanded
    }
}

TEST_F(Paths, LongPathsConvertOrAreRefusedWithoutOverrun) {
    const std::u16string folder = windows_ + u"\\System32\\";
    for (size_t length : {300u, 40000u}) {
        const std::u16string tail(length - folder.size(), u'a');
        const std::u16string path = folder + tail;
        // The converted path is one character longer; one short of that is refused, nothing
        // half written, and the same buffer keeps its text.
        EXPECT_EQ(ToSysnative(path, length + 2), Result(true, windows_ + u"\\sysnative\\" + tail));
        EXPECT_EQ(ToSysnative(path, length + 1), Result(false, u""));
        EXPECT_EQ(InPlace(path, 1), Result(false, path));
        // An unconverted path that does not fit is refused too.
        const std::u16string outside = u"D:\\" + tail;
        EXPECT_EQ(ToSysnative(outside, outside.size()), Result(false, u""));
        EXPECT_EQ(ToSysnative(outside, outside.size() + 1), Result(true, outside));
    }
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
#else
    const std::u16string source = u"C:\\PROGRA~1";
    SetSubstituteLongPathName(source, u"C:\\Program Files");
    SetSubstituteLongPathName(u"C:\\WINDOW~1\\System32\\x.dll", u"C:\\Windows\\System32\\x.dll");
    EXPECT_EQ(ToSysnative(u"C:\\WINDOW~1\\System32\\x.dll").second,
              u"C:\\Windows\\sysnative\\x.dll");
    // An answer too long for the buffer is the size needed, not a path: the source is kept.
    SetSubstituteLongPathName(u"D:\\LONG~1", u"D:\\" + std::u16string(300, u'l'));
    EXPECT_EQ(ToSysnative(u"D:\\LONG~1").second, u"D:\\LONG~1");
#endif
    EXPECT_EQ(ToLowerAscii(ToSysnative(source).second), u"c:\\program files");
    // In place, the expanded text is what lands in the buffer.
    EXPECT_EQ(ToLowerAscii(InPlace(source).second), u"c:\\program files");

    // The caller learns of every lookup, answered or not, so that it can announce it.
    bool longPathAsked = false;
    EXPECT_EQ(ToSysnative(u"C:\\no\\such\\DIRECT~1\\x.exe", 1024, &longPathAsked).second,
              u"C:\\no\\such\\DIRECT~1\\x.exe");
    EXPECT_TRUE(longPathAsked);
    EXPECT_EQ(ToSysnative(u"\\\\?\\" + source, 1024, &longPathAsked).second, u"\\\\?\\" + source);
    EXPECT_FALSE(longPathAsked);
}

TEST_F(Paths, SysnativeToSystem32) {
    const std::u16string system32 = ToLowerAscii(windows_) + u"\\system32\\";
    const std::tuple<std::u16string, bool, std::u16string> cases[] = {
        {windows_ + u"\\Sysnative\\Drivers\\x.sys", true, system32 + u"drivers\\x.sys"},
        // The long-path prefix stays in front of the converted path.
        {u"\\\\?\\" + windows_ + u"\\Sysnative\\a.exe", true, u"\\\\?\\" + system32 + u"a.exe"},
        // Empty, or the folder itself with nothing after it: the output is not touched.
        {u"", false, u"untouched"},
        {windows_ + u"\\Sysnative\\", false, u"untouched"},
        // Not found: the input in its own case.
        {u"D:\\Tools\\Sysnative\\A.exe", false, u"D:\\Tools\\Sysnative\\A.exe"},
        {windows_ + u"\\Sysnative", false, windows_ + u"\\Sysnative"},
    };
    for (const auto& [input, ok, converted] : cases) {
        std::u16string output = u"untouched";
        EXPECT_EQ(SysnativeToSystem32(input, output), ok);
        EXPECT_EQ(output, converted);
        std::u16string same = input;
        EXPECT_EQ(SysnativeToSystem32(same, same), ok);
        EXPECT_EQ(same, ok ? converted : input);
    }
}

TEST(StringConversions, MultiByteAndLowering) {
    EXPECT_EQ(MultiByteToWString("", 0), u"");
    EXPECT_EQ(MultiByteToWString("C:\\Tools\\a.exe", 0), u"C:\\Tools\\a.exe");
    EXPECT_EQ(MultiByteToWString(std::string("ab\0cd", 5), 0), u"ab");
    EXPECT_EQ(MultiByteToWString("\xE4\xB8\xAD\xE6\x96\x87 x", 65001), u"\u4e2d\u6587 x");
    EXPECT_EQ(ToLowerAscii(u"ABC xyz \u00C4\u017B [Z]@"), u"abc xyz \u00C4\u017B [z]@");
}

}  // namespace
