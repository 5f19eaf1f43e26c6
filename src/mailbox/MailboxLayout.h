// The number encodings and ring arithmetic of the mailbox block. Pure
// functions over cell values; the row offsets are in common/MailboxRows.h.
#pragma once

#include <cstdint>

#include "common/MailboxRows.h"
#include "common/Readings.h"

namespace ostrana::mailbox {

// Type row kind.ddd.
struct TypeRow {
  std::int32_t kind;
  std::int32_t detail;
};
TypeRow DecodeTypeRow(double cell);

// Identity row id.qqii. `qualifier` is meaningful for kind 2 only.
struct IdentityRow {
  std::int32_t id;
  std::int32_t index;
  std::int32_t qualifier;
};
IdentityRow DecodeIdentityRow(double cell);

// Whether an attachment tag (id.00ii) names the record (id, index).
bool TagMatches(double tagCell, std::int32_t id, std::int32_t index);

// A time of day written as hhmmss, in seconds; fractions of a second dropped.
double HhmmssToSeconds(double value);

// Records waiting in a ring of lastSlot + 1 slots.
inline std::int32_t PendingCount(std::int32_t read, std::int32_t write, std::int32_t lastSlot) {
  return write > read ? write - read - 1 : write - read + lastSlot;
}
inline std::int32_t NextSlot(std::int32_t slot, std::int32_t lastSlot) {
  return slot == lastSlot ? 0 : slot + 1;
}
inline bool SlotInRange(std::int32_t slot, std::int32_t lastSlot) { return slot >= 0 && slot <= lastSlot; }

}  // namespace ostrana::mailbox
