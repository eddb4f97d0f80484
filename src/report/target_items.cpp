#include "report/target_items.h"

#include "log/log.h"

namespace tierlock {
namespace {

// Logs an item that came back, with the path its scan item carries.
void LogItem(RkItemRecord* item) {
    const char16_t* path = item->scanItem ? item->scanItem->GetPath() : nullptr;
    Log(LogLevel::Info, "GetTargetItemByType", u"GetItem path=%s type=%d ", path ? path : u"",
        item->type);
}

uint32_t PointerBits(const void* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

}  // namespace

bool GetTargetItemByType(IRkRuleTarget* target, uint32_t mask, std::vector<RkItemRecord*>& items) {
    if (!target) {
        return !items.empty();
    }
    if (mask == kDangerousItemType || mask == 0xFFFFFFFFu) {
        auto* item = static_cast<RkItemRecord*>(target->GetItem(nullptr, kDangerousItemType));
        Log(LogLevel::Info, "GetTargetItemByType", u"TARGET_DANGEROUS pItemTmp=0x%X",
            PointerBits(item));
        if (item) {
            items.push_back(item);
            LogItem(item);
        }
    }
    for (size_t k = 0; k < supportTypes.size(); ++k) {
        const uint32_t bit = supportTypes[k];
        if ((mask & bit) == 0) {
            continue;
        }
        const char16_t* path = nullptr;
        if (bit == 1) {
            path = target->GetSrcPath();
        } else if (bit == 8) {
            path = target->GetDstPath();
        }
        auto* item = static_cast<RkItemRecord*>(target->GetItem(path, bit));
        Log(LogLevel::Info, "GetTargetItemByType", u"type=%d supportTypes[%d]=%d pItemTmp=0x%X",
            mask, k, bit, PointerBits(item));
        if (item) {
            items.push_back(item);
            LogItem(item);
        }
    }
    return !items.empty();
}

}  // namespace tierlock
