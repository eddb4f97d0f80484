// Runs tierlock-host, built beside the test executables, and collects its exit status and
// standard output; files named in its arguments are relative to the test's directory.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "simhost/plugin_library.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace tools_test {

struct ToolRun {
    int status = -1;
    std::string out;  // line ends as "\n" on every system
};

// withErrors: standard error is collected too, after standard output.
inline ToolRun RunTool(const std::string& arguments, bool withErrors = false) {
#if defined(_WIN32)
    const char* name = "tierlock-host.exe";
    const char* discard = withErrors ? " 2>&1" : " 2>NUL";
#else
    const char* name = "tierlock-host";
    const char* discard = withErrors ? " 2>&1" : " 2>/dev/null";
#endif
    const std::string command =
        (simhost::DefaultPluginPath().parent_path() / name).string() + " " + arguments + discard;
    ToolRun run;
#if defined(_WIN32)
    FILE* pipe = _popen(command.c_str(), "rb");
#else
    FILE* pipe = popen(command.c_str(), "r");
#endif
    if (!pipe) {
        return run;
    }
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        for (size_t i = 0; i < n; ++i) {
            if (buffer[i] != '\r') {
                run.out += buffer[i];
            }
        }
    }
#if defined(_WIN32)
    run.status = _pclose(pipe);
#else
    const int wait = pclose(pipe);
    run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
#endif
    return run;
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// ctest runs the tests as parallel processes, so each test writes its files in a folder of its
// own, named after it, where the tool runs too.
class InFolderOfItsOwn : public testing::Test {
  protected:
    void SetUp() override {
        home_ = std::filesystem::current_path();
        const std::filesystem::path folder =
            home_ / testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    void TearDown() override { std::filesystem::current_path(home_); }

  private:
    std::filesystem::path home_;
};

}  // namespace tools_test
