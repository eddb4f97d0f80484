#include "request.h"

#include "abi/report_records.h"

namespace tierlock_host {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t U32At(const Bytes& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    }
    return value;
}

uint64_t U64At(const Bytes& bytes, size_t offset) {
    return U32At(bytes, offset) | static_cast<uint64_t>(U32At(bytes, offset + 4)) << 32;
}

Bytes Slice(const Bytes& bytes, size_t offset, size_t count) {
    return Bytes(bytes.begin() + static_cast<ptrdiff_t>(offset),
                 bytes.begin() + static_cast<ptrdiff_t>(offset + count));
}

std::u16string WideOf(const Bytes& bytes, size_t offset, size_t units) {
    std::u16string text;
    for (size_t i = 0; i < units; ++i) {
        text.push_back(
            static_cast<char16_t>(bytes[offset + 2 * i] | bytes[offset + 2 * i + 1] << 8));
    }
    return text;
}

struct Decoder {
    IRkBundle* bundle;
    DecodedRequest& out;

    struct Value {
        Bytes bytes;
        uint32_t tag = 0;
    };

    std::optional<Value> Read(const char16_t* key) {
        Value value;
        int32_t size = 0;
        if (bundle->GetValue(key, nullptr, &size, &value.tag) == RK_E_NO_KEY || size < 0) {
            return std::nullopt;
        }
        value.bytes.resize(static_cast<size_t>(size));
        if (bundle->GetValue(key, value.bytes.data(), &size, &value.tag) != RK_S_OK) {
            Problem(key, "could not be read");
            return std::nullopt;
        }
        value.bytes.resize(static_cast<size_t>(size));
        return value;
    }

    void Problem(const char16_t* key, const std::string& what) {
        std::string name;
        for (const char16_t* c = key; *c; ++c) {
            name.push_back(static_cast<char>(*c));
        }
        out.problems.push_back("\"" + name + "\" " + what);
    }

    // A value of the expected tag and, when size is non-zero, of exactly that size.
    std::optional<Bytes> Expect(const char16_t* key, uint32_t tag, size_t size) {
        auto value = Read(key);
        if (!value) {
            return std::nullopt;
        }
        if (value->tag != tag) {
            Problem(key, "has tag " + std::to_string(value->tag) + ", not " + std::to_string(tag));
            return std::nullopt;
        }
        if (size != 0 && value->bytes.size() != size) {
            Problem(key, "has " + std::to_string(value->bytes.size()) + " bytes, not " +
                             std::to_string(size));
            return std::nullopt;
        }
        return std::move(value->bytes);
    }

    std::optional<int32_t> Int32(const char16_t* key) {
        auto bytes = Expect(key, tierlock::kTagInt32, 4);
        return bytes ? std::optional<int32_t>(static_cast<int32_t>(U32At(*bytes, 0)))
                     : std::nullopt;
    }

    std::optional<std::u16string> Wide(const char16_t* key) {
        auto bytes = Expect(key, tierlock::kTagWideText, 0);
        if (!bytes) {
            return std::nullopt;
        }
        if (bytes->size() % 2 != 0) {
            Problem(key, "has an odd number of bytes for UTF-16 text");
        }
        return WideOf(*bytes, 0, bytes->size() / 2);
    }

    // A text field of a block: up to its terminator, which must lie inside the field.
    std::u16string Field(const Bytes& bytes, size_t offset, size_t units,
                         const std::string& where) {
        std::u16string text = WideOf(bytes, offset, units);
        const size_t end = text.find(u'\0');
        if (end == std::u16string::npos) {
            out.problems.push_back(where + " has no terminator");
            return text;
        }
        text.resize(end);
        return text;
    }

    void Names() {
        int32_t size = 0;
        bundle->GetNames(nullptr, &size);
        if (size <= 0) {
            return;
        }
        std::u16string list(static_cast<size_t>(size) / 2, u'\0');
        if (bundle->GetNames(list.data(), &size) != RK_S_OK) {
            return;
        }
        size_t start = 0;
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i] == u'\0') {
                out.keys.push_back(list.substr(start, i - start));
                start = i + 1;
            }
        }
    }

    void Rule() {
        auto bytes = Expect(u"ruleInfo", tierlock::kReportBlockTag, tierlock::kRuleInfoSize);
        if (!bytes) {
            return;
        }
        RuleInfo info{U32At(*bytes, 0), U32At(*bytes, 4), U32At(*bytes, 8), true};
        for (size_t i = 12; i < bytes->size(); ++i) {
            info.reservedZero = info.reservedZero && (*bytes)[i] == 0;
        }
        out.ruleInfo = info;
    }

    TargetEntry Entry(const Bytes& block, size_t base, const std::string& where) {
        using tierlock::kEntryTextUnits;
        TargetEntry entry;
        entry.targetType = U32At(block, base + 0);
        entry.engineKind = U32At(block, base + 4);
        entry.engineId = U32At(block, base + 8);
        entry.handlingType = U32At(block, base + 12);
        entry.riskName = Field(block, base + 16, kEntryTextUnits, where + " risk name");
        entry.riskType = U32At(block, base + 536);
        entry.fileLevel = static_cast<int32_t>(U32At(block, base + 540));
        entry.md5 = Slice(block, base + 544, 16);
        entry.sha1 = Slice(block, base + 560, 20);
        const std::string body = BodyKind(entry.targetType);
        if (body == "process") {
            entry.processId = U32At(block, base + 580);
            entry.parentProcessId = U32At(block, base + 584);
            entry.imagePath = Field(block, base + 588, kEntryTextUnits, where + " image path");
            entry.commandLine = Field(block, base + 1108, kEntryTextUnits, where + " command line");
        } else if (body == "file") {
            entry.filePath = Field(block, base + 580, kEntryTextUnits, where + " file path");
            entry.firstExtraPath =
                Field(block, base + 1100, kEntryTextUnits, where + " first extra path");
            entry.secondExtraPath =
                Field(block, base + 1620, kEntryTextUnits, where + " second extra path");
        } else if (body == "registry") {
            entry.keyPath = Field(block, base + 580, kEntryTextUnits, where + " key path");
            entry.valueName = Field(block, base + 1100, kEntryTextUnits, where + " value name");
            entry.keyName =
                Field(block, base + 3668, tierlock::kRegistryLongTextUnits, where + " key name");
            entry.valueType = U32At(block, base + 5716);
            entry.firstValueData = Slice(block, base + 5720, tierlock::kRegistryDataBytes);
            entry.secondValueData = Slice(block, base + 6744, tierlock::kRegistryDataBytes);
        }
        return entry;
    }

    void Targets() {
        auto block = Expect(u"TargetList", tierlock::kReportBlockTag, 0);
        if (!block) {
            return;
        }
        const size_t head = tierlock::kTargetListHeaderSize;
        const size_t entrySize = tierlock::kTargetListEntrySize;
        if (block->size() < head) {
            Problem(u"TargetList", "is shorter than its count");
            return;
        }
        const uint32_t count = U32At(*block, 0);
        if (block->size() != head + static_cast<uint64_t>(count) * entrySize) {
            Problem(u"TargetList", "has " + std::to_string(block->size()) + " bytes for " +
                                       std::to_string(count) + " entries");
            return;
        }
        std::vector<TargetEntry> entries;
        for (uint32_t k = 0; k < count; ++k) {
            entries.push_back(
                Entry(*block, head + k * entrySize, "TargetList entry " + std::to_string(k)));
        }
        out.targetList = std::move(entries);
    }

    void Chain() {
        auto block = Expect(u"ProcessChain", tierlock::kReportBlockTag, 0);
        if (!block) {
            return;
        }
        const size_t head = tierlock::kProcessChainHeaderSize;
        const size_t entrySize = tierlock::kProcessChainEntrySize;
        if (block->size() < head) {
            Problem(u"ProcessChain", "is shorter than its count");
            return;
        }
        const uint32_t count = U32At(*block, 0);
        if (block->size() != head + static_cast<uint64_t>(count) * entrySize) {
            Problem(u"ProcessChain", "has " + std::to_string(block->size()) + " bytes for " +
                                         std::to_string(count) + " entries");
            return;
        }
        std::vector<ChainEntry> entries;
        for (uint32_t i = 0; i < count; ++i) {
            const size_t base = head + i * entrySize;
            const std::string where = "ProcessChain entry " + std::to_string(i);
            entries.push_back({Field(*block, base, tierlock::kEntryTextUnits, where + " path"),
                               static_cast<int32_t>(U32At(*block, base + 520))});
        }
        out.processChain = std::move(entries);
    }

    void Run() {
        Names();
        out.guardType = Int32(u"GuardType");
        out.operatorType = Int32(u"OperatorType");
        if (auto pid = Int32(u"ProcessId")) {
            out.processId = static_cast<uint32_t>(*pid);
        }
        if (auto time = Expect(u"ProcessCreatetime", tierlock::kTagInt64, 8)) {
            out.processCreatetime = U64At(*time, 0);
        }
        out.processPath = Wide(u"ProcessPath");
        out.processCmd = Wide(u"ProcessCmd");
        out.waitId = Int32(u"WaitId");
        Rule();
        if (auto text = Expect(u"PopWin", tierlock::kTagNarrowText, 0)) {
            out.popWin = std::string(text->begin(), text->end());
        }
        Targets();
        Chain();
        out.isOutLog = Int32(u"IsOutLog");
    }
};

}  // namespace

DecodedRequest DecodeRequest(IRkBundle* bundle) {
    DecodedRequest request;
    if (bundle) {
        Decoder{bundle, request}.Run();
    }
    return request;
}

std::string BodyKind(uint32_t targetType) {
    switch (targetType & ~tierlock::kTargetTypeFlag) {
        case tierlock::kTargetProcess:
        case tierlock::kDangerProcess:
            return "process";
        case tierlock::kTargetFile:
        case tierlock::kDangerFile:
            return "file";
        case tierlock::kTargetRegistry:
            return "registry";
        default:
            return "";
    }
}

std::string TargetTypeName(uint32_t targetType) {
    switch (targetType & ~tierlock::kTargetTypeFlag) {
        case tierlock::kTargetProcess:
            return "target process";
        case tierlock::kTargetFile:
            return "target file";
        case tierlock::kTargetRegistry:
            return "registry";
        case tierlock::kDangerProcess:
            return "danger process";
        case tierlock::kDangerFile:
            return "danger file";
        default:
            return "unknown";
    }
}

std::string HandlingName(uint32_t handlingType) {
    switch (handlingType) {
        case tierlock::kHandlingTarget:
            return "target";
        case tierlock::kHandlingDangerProcess:
            return "danger process";
        case tierlock::kHandlingDangerFile:
            return "danger file";
        case tierlock::kHandlingDangerRegistry:
            return "danger registry";
        default:
            return "none";
    }
}

}  // namespace tierlock_host
