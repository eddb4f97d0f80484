#include "report/event_details.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "abi/host_ref.h"
#include "bundle/bundle.h"
#include "bundle/bundle_pool.h"
#include "hostpath/host_path.h"
#include "log/log.h"
#include "platform/inline_vector.h"
#include "report/report_block.h"

namespace tierlock {
namespace {

constexpr const char* kCommTag = "Tierlock::SetCommInfo";
constexpr const char* kRegTag = "Tierlock::SetRegInfo";

// HexTextToBytes writes an 8-byte head before the decoded bytes.
constexpr size_t kHexResultHead = 8;
// The digest questions' parameter bundles; the trust and cloud questions take the kinds below.
constexpr size_t kDigestBundleKind = 5;

void AcquireBaseComponent(const DigestSources& digests, HostRef<IBaseComponent>& component) {
    if (digests.getBaseComponent) {
        component.Adopt(digests.getBaseComponent());
    }
}

// A wide text of the bundle, empty when absent.
std::u16string ReadWideText(IASBundle* bundle, const char* key) {
    uint32_t size = 0;
    if (bundle->GetWString(key, nullptr, &size) != RK_S_BUFFER_TOO_SMALL || size == 0) {
        return {};
    }
    std::u16string text((size + 1) / sizeof(char16_t), u'\0');
    size = static_cast<uint32_t>(text.size() * sizeof(char16_t));
    if (bundle->GetWString(key, text.data(), &size) != RK_S_OK) {
        return {};
    }
    text.resize(std::min(text.find(u'\0'), text.size()));
    return text;
}

// Asks the cache for one digest of the file at path and decodes it into digest. False only
// when no parameter bundle can be made, which ends the whole lookup.
template <size_t N>
bool LookUpDigest(const DigestSources& digests, const char16_t* path, const char* key,
                  uint8_t (&digest)[N]) {
    // The cache writes its answers into the bundle, so a reused one comes back emptied.
    const PooledBundle bundle(kDigestBundleKind);
    if (!bundle) {
        Log(LogLevel::Error, kCommTag, u"bundleptr create instance failed");
        return false;
    }
    bundle.Get()->PutWString("FilePath", path ? path : u"");
    if (!digests.cache || !digests.cache->QueryFileInfo(bundle.Get())) {
        return true;
    }
    const std::u16string text = ReadWideText(bundle.Get(), key);
    if (text.size() <= 3) {
        return true;
    }
    HostRef<IBaseComponent> component;
    AcquireBaseComponent(digests, component);
    if (!component) {
        return true;
    }
    // Room for the whole text decoded, so that a longer answer than a digest cannot overrun it.
    InlineVector<uint8_t, 128> result;
    result.assign(kHexResultHead + std::max(text.size() / 2 + 1, N), 0);
    if (component->HexTextToBytes(text.c_str(), static_cast<uint32_t>(text.size()),
                                  result.data()) == 0) {
        std::memcpy(digest, result.data() + kHexResultHead, N);
    }
    return true;
}

// Fills one digest field: a field already set is refreshed from the scan item, an empty one is
// looked up in the cache.
template <size_t N, class ReadScanItem>
bool FillDigest(const DigestSources& digests, const RkItemRecord* item, const char* key,
                uint8_t (&digest)[N], ReadScanItem fromScanItem) {
    if (digest[0] != 0) {
        if (item && item->scanItem) {
            fromScanItem(item->scanItem, digest);
        }
        return true;
    }
    return LookUpDigest(digests, ScanItemPath(item), key, digest);
}

void HexText(const DigestSources& digests, const uint8_t* bytes, uint32_t length,
             std::u16string& text) {
    HostRef<IBaseComponent> component;
    AcquireBaseComponent(digests, component);
    if (!component) {
        return;
    }
    char16_t buffer[IBaseComponent::kHexTextChars] = {};
    component->BytesToHexText(bytes, length, 0, buffer);
    buffer[IBaseComponent::kHexTextChars - 1] =
        u'\0';  // the component's text ends inside the buffer
    text = buffer;
}

}  // namespace

const char16_t* ScanItemPath(const RkItemRecord* item) {
    return item && item->scanItem ? item->scanItem->GetPath() : nullptr;
}

void SetCommInfo(const DigestSources& digests, const RkItemRecord* item, TargetListEntry& entry,
                 std::u16string& md5Text, std::u16string& sha1Text) {
    IRKScanItem* scanItem = item ? item->scanItem : nullptr;
    entry.fileLevel = scanItem ? scanItem->GetLevel() : 0;
    const auto md5FromScanItem = [](IRKScanItem* from, uint8_t* to) {
        from->GetMd5(to, sizeof(TargetListEntry::md5));
    };
    const auto sha1FromScanItem = [](IRKScanItem* from, uint8_t* to) {
        from->GetSha1(to, sizeof(TargetListEntry::sha1));
    };
    if (!FillDigest(digests, item, "FileMd5", entry.md5, md5FromScanItem) ||
        !FillDigest(digests, item, "FileSha1", entry.sha1, sha1FromScanItem)) {
        return;
    }
    HexText(digests, entry.md5, sizeof(entry.md5), md5Text);
    HexText(digests, entry.sha1, sizeof(entry.sha1), sha1Text);
}

namespace {

// Copies a name the event may lack; a missing one is logged, naming the record field it is in.
template <size_t N>
void CopyNameOrLog(char16_t (&field)[N], const char16_t* name, const char16_t* missing) {
    if (name) {
        CopyTextField(field, name);
    } else {
        Log(LogLevel::Error, kRegTag, missing);
    }
}

}  // namespace

void SetRegInfo(const RkEventRecord& record, const RkItemRecord*, TargetListEntry& entry,
                std::u16string& detail) {
    TargetRegistryBody& body = entry.registry;
    entry.targetType = kTargetRegistry;
    const char16_t* keyName = record.drvReq.m_Registry.m_KeyName;
    CopyNameOrLog(body.keyPath, keyName, u"drvReq.m_Registry.m_KeyName=NULL");
    auto describe = [&](const char16_t* what, std::u16string_view key) {
        detail = what;
        detail += FieldText(body.keyPath);
        detail += u" key=";
        detail += key;
    };
    // Value data travels with its own size; the copy never takes more than the field holds.
    switch (record.operation) {
        case kRegistryCreateKey:
            if (keyName) {
                CopyTextField(body.keyName, keyName);
            }
            describe(u"注册表创建:path=", FieldText(body.keyName));
            break;
        case kRegistryRenameKey:
            CopyNameOrLog(body.keyName, record.valueName,
                          u"drvReq.m_Registry.m_RenameKey.m_TargetName=NULL");
            describe(u"注册表重命名:path=", FieldText(body.keyName));
            break;
        case kRegistrySetValue:
            body.valueType = record.valueType;
            CopyDataField(body.secondValueData, record.firstValueData, record.firstValueSize);
            CopyDataField(body.firstValueData, record.secondValueData, record.secondValueSize);
            CopyNameOrLog(body.valueName, record.valueName, u"drvReq.m_Registry.m_ValueName=NULL");
            describe(u"注册表改值:path=", FieldText(body.valueName));
            break;
        case kRegistryDeleteValue:
            body.valueType = record.valueType;
            CopyDataField(body.firstValueData, record.firstValueData, record.firstValueSize);
            CopyNameOrLog(body.valueName, record.valueName,
                          u"drvReq.m_Registry.m_DeleteValueKey.m_ValueName=NULL");
            describe(u"注册表删除:path=", FieldText(body.valueName));
            break;
        default:
            break;
    }
}

namespace {

// Item type bits of a dangerous process item, in the order they are tested.
constexpr uint32_t kItemSource = 0x1;
constexpr uint32_t kItemTarget = 0x8;
constexpr uint32_t kItemTargetCommandLine = 0x40;
constexpr uint32_t kItemParent = 0x4;
constexpr uint32_t kItemThreadModule = 0x20;

void WriteProcess(TargetListEntry& entry, uint32_t targetType, uint32_t pid, uint32_t parentPid,
                  const char16_t* imagePath) {
    entry.targetType = targetType;
    entry.process.processId = pid;
    entry.process.parentProcessId = parentPid;
    CopyConvertedPath(entry.process.imagePath, imagePath);
}

}  // namespace

void SetProcessCreateInfo(std::u16string& label, bool danger, const RkEventRecord& record,
                          const RkItemRecord* item, TargetListEntry& entry) {
    TargetProcessBody& process = entry.process;
    if (!danger) {
        WriteProcess(entry, kTargetProcess | kTargetTypeFlag, record.TargetProcessId,
                     record.ProcessId, record.createdImagePath);
        CopyTextField(process.commandLine, record.createdCommandLine);
        label = u"目标进程";
        return;
    }
    entry.targetType = kDangerProcess;
    const uint32_t type = item ? item->type : 0;
    const char16_t* scanPath = ScanItemPath(item);
    if (type & kItemSource) {
        WriteProcess(entry, kDangerProcess, record.ProcessId, record.PPID, record.ProcessPath);
        CopyTextField(process.commandLine, record.ProcessCmd);
        label = u"危险来源进程";
    } else if (type & kItemTarget) {
        WriteProcess(entry, kDangerProcess | kTargetTypeFlag, record.TargetProcessId,
                     record.ProcessId, record.createdImagePath);
        CopyTextField(process.commandLine, record.createdCommandLine);
        label = u"危险目标进程";
    } else if (type & kItemTargetCommandLine) {
        WriteProcess(entry, kDangerProcess | kTargetTypeFlag, record.TargetProcessId,
                     record.ProcessId, scanPath);
        CopyTextField(process.commandLine, record.createdCommandLine);
        label = u"危险目标进程命令行";
    } else if (type & kItemParent) {
        WriteProcess(entry, kDangerProcess, record.PPID, 0, scanPath);
        label = u"危险父进程";
    } else if (type & kItemThreadModule) {
        entry.targetType = kDangerFile;
        CopyConvertedPath(entry.file.filePath, scanPath);
        label = u"危险线程模块";
    } else {
        Log(LogLevel::Error, "SetProcessCreateInfo", u"%s 不是源也不是目标",
            scanPath ? scanPath : u"");
    }
}

}  // namespace tierlock
