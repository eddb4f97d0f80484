// The release version as installers and rule authors read it: the tool's --version, and on
// Windows the shipped DLL's version resource through the system's file-version functions.
#include <string>

#include "tool_process.h"

#if defined(_WIN32)
#include <windows.h>

#include <vector>
#endif

namespace tools_test {
namespace {

TEST(Version, ToolPrintsItsOwnAndTheLibrarysVersion) {
    const std::string library = simhost::DefaultPluginPath().string();
    ToolRun run;
    for (const std::string& arguments :
         {std::string("--version"), "--version --plugin " + library}) {
        run = RunTool(arguments);
        EXPECT_EQ(std::pair(run.status, run.out),
                  std::pair(0, "tierlock-host " TIERLOCK_VERSION "\nplug-in library " + library +
                                   ": " TIERLOCK_VERSION "\n"));
    }

    // A file without a version, and arguments the option does not take.
    run = RunTool("--version --plugin examples/tierlock.json");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "tierlock-host " TIERLOCK_VERSION
                       "\nplug-in library examples/tierlock.json: no version found\n");
    run = RunTool("--version --json");
    EXPECT_EQ(std::pair(run.status, run.out), std::pair(2, std::string()));
}

#if defined(_WIN32)
TEST(Version, DllCarriesTheReleaseInItsVersionResource) {
    const std::wstring dll = simhost::DefaultPluginPath().wstring();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD expectedMs = (TIERLOCK_VERSION_MAJOR << 16) | TIERLOCK_VERSION_MINOR;
    const DWORD expectedLs = TIERLOCK_VERSION_PATCH << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, expectedMs);
    EXPECT_EQ(fixed->dwFileVersionLS, expectedLs);
    EXPECT_EQ(fixed->dwProductVersionMS, expectedMs);
    EXPECT_EQ(fixed->dwProductVersionLS, expectedLs);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));

    // US English in UTF-16, the table the strings are looked up in.
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x409);
    EXPECT_EQ(translation[1], 1200);

    const auto text = [&](const wchar_t* name) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        wchar_t* value = nullptr;
        UINT units = 0;
        if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &units) ||
            !value) {
            return std::wstring(L"(absent)");
        }
        return std::wstring(value);
    };
    EXPECT_EQ(text(L"FileVersion"), L"" TIERLOCK_VERSION_W);
    EXPECT_EQ(text(L"ProductVersion"), L"" TIERLOCK_VERSION_W);
    EXPECT_EQ(text(L"OriginalFilename"), L"tierlock.dll");
    EXPECT_EQ(text(L"FileDescription"), L"tierlock rule plug-in");
    EXPECT_EQ(text(L"ProductName"), L"tierlock");
}
#endif

}  // namespace
}  // namespace tools_test
