// The report's target list: the event's danger items, without those the trust service vouches
// for, and its destination items, each turned into one fixed-size entry of the "TargetList"
// block in the request bundle.
#pragma once

#include <cstdint>
#include <vector>

#include "abi/host.h"
#include "abi/records.h"
#include "abi/report_records.h"
#include "report/report_sources.h"

namespace tierlock {

// Engine kind whose entries carry the engine id and the risk type.
inline constexpr uint32_t kEngineKindWithRisk = 6;
// Risk name of an item whose scan item names none.
inline constexpr const char16_t* kDefaultRiskName = u"Trojan.Generic.B";

// The target's items of the types in report_type; when that yields nothing, the item the
// event's class points at.
void GetReportDangerList(IRkRuleTarget* target, const RkEventRecord& record, uint32_t report_type,
                         std::vector<RkItemRecord*>& list);

// Stores "TargetList" in bundle. False when nothing is to be reported: no target, no danger
// item, or every danger item vouched for by the trust service.
bool SetTargetList(const ReportSources& sources, IRkRuleTarget* target, const RkEventRecord& record,
                   IRkBundle* bundle, uint32_t report_type);

// Fills one zero-filled entry for item (absent for the registry entry); always true.
bool BuildOneItem(const DigestSources& digests, const RkEventRecord& record,
                  const RkItemRecord* item, TargetListEntry& entry, bool danger);

// The target type and the file or process body of item's entry.
void SetTargetItemInfo(bool danger, const RkEventRecord& record, const RkItemRecord* item,
                       TargetListEntry& entry);

}  // namespace tierlock
