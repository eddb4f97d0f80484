// The compatibility exports as outside callers reach them: found by their exact names in the
// shipped DLL, each resolving its real function through the loader object of the base
// component and calling it with the caller's arguments.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "components_fixture.h"
#include "simhost/plugin_library.h"

#ifdef _WIN32
#include <windows.h>

namespace {

using InitializeCriticalSectionExFn = BOOL(WINAPI*)(LPCRITICAL_SECTION, DWORD, DWORD);
using GetTickCount64Fn = ULONGLONG(WINAPI*)();
using RegDeleteKeyExWFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
using RegDeleteKeyValueWFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPCWSTR);
using GetNamedPipeClientProcessIdFn = BOOL(WINAPI*)(HANDLE, PULONG);

class CompatExports : public ::testing::Test {
  protected:
    // Loads a fresh copy of the DLL, so that it looks for the loader object anew.
    void LoadPlugin() {
        std::string error;
        library_ = simhost::PluginLibrary::Load(simhost::DefaultPluginPath(), true, &error);
        ASSERT_TRUE(library_) << error;
    }
    template <class Fn>
    Fn Export(const char* name) {
        EXPECT_NE(library_->Symbol(name), nullptr) << name;
        return reinterpret_cast<Fn>(library_->Symbol(name));
    }

    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
        library_.reset();
    }

    const std::wstring key_ = L"Software\\tierlock-test-" + std::to_wstring(GetCurrentProcessId());
    LoadedComponents components_;
    std::unique_ptr<simhost::PluginLibrary> library_;
};

TEST_F(CompatExports, OnlyTheDecoratedNamesAreExported) {
    LoadPlugin();
    // Each decorated name is found through Export in the tests below.
    for (const char* name : {"Compatible_GetTickCount64", "_Compatible_GetTickCount64",
                             "Compatible_GetTickCount64@0"}) {
        EXPECT_EQ(library_->Symbol(name), nullptr) << name;
    }
}

TEST_F(CompatExports, WithoutTheLoaderEachAnswersFailureAndProcNotFound) {
    LoadPlugin();
    HANDLE pipe = INVALID_HANDLE_VALUE;
    ULONG pid = 77;
    struct Case {
        const char* name;
        std::function<bool()> callFails;
    };
    const Case cases[] = {
        {"GetTickCount64",
         [&] { return Export<GetTickCount64Fn>("_Compatible_GetTickCount64@0")() == 0; }},
        {"RegDeleteKeyExW",
         [&] {
             return Export<RegDeleteKeyExWFn>("_Compatible_RegDeleteKeyExW@16")(
                        HKEY_CURRENT_USER, key_.c_str(), 0, 0) == ERROR_PROC_NOT_FOUND;
         }},
        {"RegDeleteKeyValueW",
         [&] {
             return Export<RegDeleteKeyValueWFn>("_Compatible_RegDeleteKeyValueW@12")(
                        HKEY_CURRENT_USER, key_.c_str(), L"v") == ERROR_PROC_NOT_FOUND;
         }},
        {"GetNamedPipeClientProcessId",
         [&] {
             return !Export<GetNamedPipeClientProcessIdFn>(
                        "_Compatible_GetNamedPipeClientProcessId@8")(pipe, &pid) &&
                    pid == 77;
         }},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_TRUE(c.callFails()) << c.name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << c.name;
    }
}

TEST_F(CompatExports, InitializeCriticalSectionExNeedsNoLoaderAndIgnoresFlags) {
    components_.Load(u"NUVBase.win32.dll");
    LoadPlugin();
    const auto initialize =
        Export<InitializeCriticalSectionExFn>("_Compatible_InitializeCriticalSectionEx@12");
    CRITICAL_SECTION section;
    ASSERT_TRUE(initialize(&section, 4000, 0xFFFFFFFF));
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));  // the owner may enter again
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
    EXPECT_EQ(components_.Log(), "");
}

TEST_F(CompatExports, EachCallsItsRealFunctionThroughTheLoader) {
    components_.Load(u"NUVBase.win32.dll");
    LoadPlugin();

    const ULONGLONG before = GetTickCount64();
    const ULONGLONG ticks = Export<GetTickCount64Fn>("_Compatible_GetTickCount64@0")();
    EXPECT_GE(ticks, before);
    EXPECT_LE(ticks, GetTickCount64());

    const std::wstring child = key_ + L"\\child";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, child.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD value = 5;
    ASSERT_EQ(RegSetValueExW(key, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof(value)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    const auto deleteValue = Export<RegDeleteKeyValueWFn>("_Compatible_RegDeleteKeyValueW@12");
    EXPECT_EQ(deleteValue(HKEY_CURRENT_USER, child.c_str(), L"v"), ERROR_SUCCESS);
    // The real function's own answer comes back unchanged.
    EXPECT_EQ(deleteValue(HKEY_CURRENT_USER, child.c_str(), L"v"), ERROR_FILE_NOT_FOUND);
    const auto deleteKey = Export<RegDeleteKeyExWFn>("_Compatible_RegDeleteKeyExW@16");
    EXPECT_EQ(deleteKey(HKEY_CURRENT_USER, child.c_str(), 0, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, child.c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);

    const std::wstring pipeName =
        L"\\\\.\\pipe\\tierlock-test-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 64,
                                     64, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE client = CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    ULONG pid = 0;
    EXPECT_TRUE(Export<GetNamedPipeClientProcessIdFn>("_Compatible_GetNamedPipeClientProcessId@8")(
        server, &pid));
    EXPECT_EQ(pid, GetCurrentProcessId());
    CloseHandle(client);
    CloseHandle(server);

    EXPECT_EQ(components_.Log(),
              "create F73595D8-C098-4549\n"
              "GetFunction Kernel32.dll GetTickCount64\n"
              "GetFunction Advapi32.dll RegDeleteKeyValueW\n"
              "GetFunction Advapi32.dll RegDeleteKeyValueW\n"
              "GetFunction Advapi32.dll RegDeleteKeyExW\n"
              "GetFunction Kernel32.dll GetNamedPipeClientProcessId\n");
}

}  // namespace
#endif  // _WIN32
