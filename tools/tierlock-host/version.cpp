#include "version.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "simhost/plugin_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <elf.h>

#include <fstream>
#endif

namespace tierlock_host {

const char kVersionUsage[] = "usage: tierlock-host --version [--plugin LIBRARY]\n";

namespace {

#if defined(_WIN32)
// Through the system's file-version functions, as an installer checks the file.
std::optional<std::string> ReadVersionResource(const std::filesystem::path& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.wstring().c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(path.wstring().c_str(), 0, size, data.data())) {
        return std::nullopt;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD) {
        return std::nullopt;
    }
    std::string version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                          std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                          std::to_string(HIWORD(fixed->dwFileVersionLS));
    if (LOWORD(fixed->dwFileVersionLS) != 0) {
        version += "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
    }
    return version;
}
#else
bool ReadAt(std::ifstream& file, uint64_t offset, void* buffer, size_t size) {
    file.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(
        file.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size)));
}

// The notes of every PT_NOTE segment, searched for name "tierlock", type 1. Segments rather than
// sections, because stripping may drop the section headers but never the program headers.
template <typename Header, typename ProgramHeader>
std::optional<std::string> ReadVersionNote(std::ifstream& file) {
    Header header;
    if (!ReadAt(file, 0, &header, sizeof header)) {
        return std::nullopt;
    }
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        ProgramHeader segment;
        if (!ReadAt(file, header.e_phoff + uint64_t{i} * header.e_phentsize, &segment,
                    sizeof segment)) {
            return std::nullopt;
        }
        if (segment.p_type != PT_NOTE || segment.p_filesz > (1u << 20)) {
            continue;
        }
        std::vector<char> notes(segment.p_filesz);
        if (!ReadAt(file, segment.p_offset, notes.data(), notes.size())) {
            return std::nullopt;
        }
        const auto align4 = [](uint64_t n) { return (n + 3) / 4 * 4; };
        for (uint64_t at = 0; at + 12 <= notes.size();) {
            uint32_t fields[3];  // name size, description size, type
            std::memcpy(fields, notes.data() + at, sizeof fields);
            const uint64_t name = at + 12;
            const uint64_t description = name + align4(fields[0]);
            const uint64_t next = description + align4(fields[1]);
            if (next > notes.size()) {
                break;
            }
            if (fields[2] == 1 && fields[0] == 9 &&
                std::memcmp(notes.data() + name, "tierlock", 9) == 0 && fields[1] > 0) {
                const char* text = notes.data() + description;
                return std::string(text, strnlen(text, fields[1]));
            }
            at = next;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ReadElfNote(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char ident[EI_NIDENT] = {};
    if (!ReadAt(file, 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
        return std::nullopt;
    }
    if (ident[EI_CLASS] == ELFCLASS64) {
        return ReadVersionNote<Elf64_Ehdr, Elf64_Phdr>(file);
    }
    if (ident[EI_CLASS] == ELFCLASS32) {
        return ReadVersionNote<Elf32_Ehdr, Elf32_Phdr>(file);
    }
    return std::nullopt;
}
#endif

}  // namespace

std::optional<std::string> ReadLibraryVersion(const std::filesystem::path& path) {
#if defined(_WIN32)
    return ReadVersionResource(path);
#else
    return ReadElfNote(path);
#endif
}

int RunVersion(int argc, char** argv) {
    std::filesystem::path pluginPath = simhost::DefaultPluginPath();
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
            pluginPath = argv[++i];
        } else {
            std::fputs(kVersionUsage, stderr);
            return 2;
        }
    }
    std::printf("tierlock-host %s\n", TIERLOCK_VERSION);
    const std::optional<std::string> version = ReadLibraryVersion(pluginPath);
    if (!version) {
        std::printf("plug-in library %s: no version found\n", pluginPath.string().c_str());
        return 1;
    }
    std::printf("plug-in library %s: %s\n", pluginPath.string().c_str(), version->c_str());
    return 0;
}

}  // namespace tierlock_host
