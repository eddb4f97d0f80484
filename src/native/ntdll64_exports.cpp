#include "native/ntdll64_exports.h"

#include <vector>

namespace tierlock::native {

namespace {

// Published 64-bit layouts: environment block, loader data, loader entry, image headers.
constexpr uint64_t kPebLdr = 0x18;
constexpr uint64_t kLdrInLoadOrderList = 0x10;
constexpr uint64_t kEntryDllBase = 0x30;
constexpr uint64_t kEntryBaseDllName = 0x58;  // length (16-bit), then the buffer at +8
constexpr uint32_t kDosLfanew = 0x3C;
constexpr uint32_t kNtOptionalHeader = 24;
constexpr uint32_t kOptionalExportDirectory = 112;  // first data directory of a PE32+ image
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kDosSignature = 0x5A4D;     // "MZ"
constexpr uint32_t kMaxModules = 4096;         // a list longer than this is damaged
constexpr uint32_t kMaxNames = 65536;

struct ExportDirectory {
    uint32_t characteristics;
    uint32_t timeDateStamp;
    uint16_t majorVersion;
    uint16_t minorVersion;
    uint32_t name;
    uint32_t base;
    uint32_t numberOfFunctions;
    uint32_t numberOfNames;
    uint32_t addressOfFunctions;
    uint32_t addressOfNames;
    uint32_t addressOfNameOrdinals;
};
static_assert(sizeof(ExportDirectory) == 40);

template <class T>
bool ReadValue(const Memory64Reader& read, uint64_t address, T& value) {
    return read(address, &value, sizeof(value));
}

bool IsNtdll(const Memory64Reader& read, uint64_t entry) {
    constexpr std::u16string_view kName = u"ntdll.dll";
    uint16_t length = 0;
    uint64_t buffer = 0;
    if (!ReadValue(read, entry + kEntryBaseDllName, length) ||
        !ReadValue(read, entry + kEntryBaseDllName + 8, buffer) ||
        length != kName.size() * sizeof(char16_t) || !buffer) {
        return false;
    }
    char16_t text[kName.size()] = {};
    if (!read(buffer, text, length)) {
        return false;
    }
    for (size_t i = 0; i < kName.size(); ++i) {
        const char16_t c = (text[i] >= u'A' && text[i] <= u'Z') ? text[i] + 32 : text[i];
        if (c != kName[i]) {
            return false;
        }
    }
    return true;
}

uint64_t FindNtdllBase(const Memory64Reader& read, uint64_t peb64) {
    uint64_t ldr = 0;
    if (!peb64 || !ReadValue(read, peb64 + kPebLdr, ldr) || !ldr) {
        return 0;
    }
    const uint64_t head = ldr + kLdrInLoadOrderList;
    uint64_t entry = 0;
    if (!ReadValue(read, head, entry)) {
        return 0;
    }
    for (uint32_t count = 0; entry && entry != head && count < kMaxModules; ++count) {
        if (IsNtdll(read, entry)) {
            uint64_t base = 0;
            return ReadValue(read, entry + kEntryDllBase, base) ? base : 0;
        }
        if (!ReadValue(read, entry, entry)) {
            return 0;
        }
    }
    return 0;
}

}  // namespace

uint64_t FindNtdll64Export(const Memory64Reader& read, uint64_t peb64, std::string_view name) {
    const uint64_t base = FindNtdllBase(read, peb64);
    uint16_t dosSignature = 0;
    uint32_t lfanew = 0;
    if (!base || !ReadValue(read, base, dosSignature) || dosSignature != kDosSignature ||
        !ReadValue(read, base + kDosLfanew, lfanew)) {
        return 0;
    }
    const uint64_t headers = base + lfanew;
    uint32_t peSignature = 0;
    uint16_t magic = 0;
    uint32_t exportRva = 0;
    uint32_t exportSize = 0;
    if (!ReadValue(read, headers, peSignature) || peSignature != kPeSignature ||
        !ReadValue(read, headers + kNtOptionalHeader, magic) || magic != kPe32PlusMagic ||
        !ReadValue(read, headers + kNtOptionalHeader + kOptionalExportDirectory, exportRva) ||
        !ReadValue(read, headers + kNtOptionalHeader + kOptionalExportDirectory + 4, exportSize) ||
        !exportRva) {
        return 0;
    }
    ExportDirectory directory = {};
    if (!ReadValue(read, base + exportRva, directory) || directory.numberOfNames > kMaxNames) {
        return 0;
    }
    std::vector<uint32_t> names(directory.numberOfNames);
    if (names.empty() || !read(base + directory.addressOfNames, names.data(),
                               static_cast<uint32_t>(names.size() * sizeof(uint32_t)))) {
        return 0;
    }
    // One byte more than the name: the terminator must follow where the names agree.
    std::vector<char> candidate(name.size() + 1);
    for (uint32_t i = 0; i < names.size(); ++i) {
        if (!read(base + names[i], candidate.data(), static_cast<uint32_t>(candidate.size())) ||
            candidate.back() != '\0' || std::string_view(candidate.data(), name.size()) != name) {
            continue;
        }
        uint16_t ordinal = 0;
        uint32_t functionRva = 0;
        if (!ReadValue(read, base + directory.addressOfNameOrdinals + 2ull * i, ordinal) ||
            ordinal >= directory.numberOfFunctions ||
            !ReadValue(read, base + directory.addressOfFunctions + 4ull * ordinal, functionRva) ||
            !functionRva) {
            return 0;
        }
        // An address inside the export directory names another module's function.
        if (functionRva >= exportRva && functionRva < exportRva + exportSize) {
            return 0;
        }
        return base + functionRva;
    }
    return 0;
}

}  // namespace tierlock::native
