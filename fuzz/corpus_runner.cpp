// Feeds every file of the given folders (or the given files) to the hostile host, one after
// the other, in the Windows builds where libFuzzer does not run: the real compiler, runtime and
// platform layer meet every input the fuzzer has kept. A broken promise aborts with its message.
//
// usage: last_event_corpus_runner [--seconds N] PATH...
// Stops between two files once N seconds have passed (the files not run are counted).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hostile_host.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    double budget = 0;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--seconds" && i + 1 < argc) {
            budget = std::atof(argv[++i]);
        } else if (fs::is_directory(argument)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(argument)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else if (fs::is_regular_file(argument)) {
            files.emplace_back(argument);
        } else {
            std::fprintf(stderr, "last_event_corpus_runner: %s is no file or folder\n",
                         argument.c_str());
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "usage: last_event_corpus_runner [--seconds N] PATH...\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    size_t ran = 0;
    for (const fs::path& file : files) {
        if (budget > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >
                budget) {
            break;
        }
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "%s\n", file.filename().string().c_str());  // names a crash's input
        RunHostileHostInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++ran;
    }
    std::printf("corpus: %zu of %zu inputs ran, every reference balanced%s\n", ran, files.size(),
                ran < files.size() ? " (time budget spent)" : "");
    return 0;
}
