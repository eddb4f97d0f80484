// The 64-bit ntdll export lookup against a synthetic 64-bit address space: environment
// block, loader list and a PE32+ export table laid out as Windows lays them out.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "native/ntdll64_exports.h"

namespace {

using tierlock::native::FindNtdll64Export;

// A sparse 64-bit memory: whole regions at fixed addresses; reads outside them fail.
class Memory64 {
  public:
    void Put(uint64_t address, const void* data, size_t size) {
        regions_[address].assign(static_cast<const unsigned char*>(data),
                                 static_cast<const unsigned char*>(data) + size);
    }
    template <class T>
    void PutValue(uint64_t address, T value) {
        Put(address, &value, sizeof(value));
    }
    bool Read(uint64_t address, void* buffer, uint32_t size) const {
        auto region = regions_.upper_bound(address);
        if (region == regions_.begin()) {
            return false;
        }
        --region;
        const uint64_t offset = address - region->first;
        if (offset + size > region->second.size()) {
            return false;
        }
        std::memcpy(buffer, region->second.data() + offset, size);
        return true;
    }

  private:
    std::map<uint64_t, std::vector<unsigned char>> regions_;
};

constexpr uint64_t kPeb = 0x7FF000000000;
constexpr uint64_t kLdr = 0x7FF000100000;
constexpr uint64_t kFirstEntry = 0x7FF000200000;
constexpr uint64_t kSecondEntry = 0x7FF000300000;
constexpr uint64_t kNtdll = 0x7FFA00000000;
constexpr uint32_t kExportRva = 0x1000;

template <class T>
void Store(std::vector<unsigned char>& image, size_t offset, T value) {
    std::memcpy(image.data() + offset, &value, sizeof(value));
}

// An image with three exports: NtQueryInformationThread, NtQueryVirtualMemory and a
// forwarder NtForwarded; the name table is sorted as the linker writes it.
std::vector<unsigned char> NtdllImage() {
    std::vector<unsigned char> image(0x3000);
    Store<uint16_t>(image, 0, 0x5A4D);
    Store<uint32_t>(image, 0x3C, 0x80);
    Store<uint32_t>(image, 0x80, 0x00004550);
    Store<uint16_t>(image, 0x80 + 24, 0x20B);
    Store<uint32_t>(image, 0x80 + 24 + 112, kExportRva);
    Store<uint32_t>(image, 0x80 + 24 + 116, 0x800);
    const size_t directory = kExportRva;
    Store<uint32_t>(image, directory + 0x14, 3);       // functions
    Store<uint32_t>(image, directory + 0x18, 3);       // names
    Store<uint32_t>(image, directory + 0x1C, 0x1100);  // function addresses
    Store<uint32_t>(image, directory + 0x20, 0x1200);  // name addresses
    Store<uint32_t>(image, directory + 0x24, 0x1300);  // name ordinals
    const char* names[] = {"NtForwarded", "NtQueryInformationThread", "NtQueryVirtualMemory"};
    const uint32_t functions[] = {0x1400, 0x2010, 0x2020};  // the first lies in the directory
    for (uint32_t i = 0; i < 3; ++i) {
        const uint32_t nameRva = 0x1500 + i * 0x40;
        std::memcpy(image.data() + nameRva, names[i], std::strlen(names[i]) + 1);
        Store<uint32_t>(image, 0x1200 + i * 4, nameRva);
        Store<uint16_t>(image, 0x1300 + i * 2, static_cast<uint16_t>(i));
        Store<uint32_t>(image, 0x1100 + i * 4, functions[i]);
    }
    return image;
}

void PutEntry(Memory64& memory, uint64_t entry, uint64_t next, const std::u16string& name,
              uint64_t base) {
    std::vector<unsigned char> record(0x100);
    Store<uint64_t>(record, 0, next);
    Store<uint64_t>(record, 0x30, base);
    Store<uint16_t>(record, 0x58, static_cast<uint16_t>(name.size() * 2));
    Store<uint64_t>(record, 0x60, entry + 0x80);
    std::memcpy(record.data() + 0x80, name.data(), name.size() * 2);
    memory.Put(entry, record.data(), record.size());
}

Memory64 Process(const std::u16string& secondName = u"NTDLL.DLL") {
    Memory64 memory;
    memory.PutValue<uint64_t>(kPeb + 0x18, kLdr);
    const uint64_t head = kLdr + 0x10;
    memory.PutValue<uint64_t>(head, kFirstEntry);
    PutEntry(memory, kFirstEntry, kSecondEntry, u"app.exe", 0x140000000);
    PutEntry(memory, kSecondEntry, head, secondName, kNtdll);
    const std::vector<unsigned char> image = NtdllImage();
    memory.Put(kNtdll, image.data(), image.size());
    return memory;
}

uint64_t Find(const Memory64& memory, std::string_view name) {
    return FindNtdll64Export([&](uint64_t address, void* buffer,
                                 uint32_t size) { return memory.Read(address, buffer, size); },
                             kPeb, name);
}

TEST(Ntdll64Exports, FindsNamedExportsOnly) {
    const Memory64 memory = Process();
    const std::pair<std::string, uint64_t> cases[] = {
        {"NtQueryInformationThread", kNtdll + 0x2010},
        {"NtQueryVirtualMemory", kNtdll + 0x2020},
        {"NtForwarded", 0},  // names another module's function
        {"NtQuery", 0},      // a prefix of a name
        {"NtQueryVirtualMemoryX", 0},
        {"NtGetContextThread", 0},
    };
    for (const auto& [name, address] : cases) {
        EXPECT_EQ(Find(memory, name), address) << name;
    }
}

TEST(Ntdll64Exports, AnswersZeroForAnUnexpectedProcess) {
    for (const char16_t* other :
         {u"kernel32.dll", u"xtdll.dll"}) {  // every unit of the name counts
        EXPECT_EQ(Find(Process(other), "NtQueryVirtualMemory"), 0u);
    }
    EXPECT_EQ(Find(Memory64(), "NtQueryVirtualMemory"), 0u);
    // A loader list that never returns to its head ends after a bounded walk.
    Memory64 looping = Process();
    PutEntry(looping, kSecondEntry, kFirstEntry, u"other.dll", kNtdll);
    EXPECT_EQ(Find(looping, "NtQueryVirtualMemory"), 0u);
    // A module that is not a PE32+ image.
    Memory64 damaged = Process();
    std::vector<unsigned char> image = NtdllImage();
    image[0] = 0;
    damaged.Put(kNtdll, image.data(), image.size());
    EXPECT_EQ(Find(damaged, "NtQueryVirtualMemory"), 0u);
}

}  // namespace
