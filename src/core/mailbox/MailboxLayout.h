// The number encodings of the mailbox block's cells. Pure functions over cell
// values; the row offsets and the ring arithmetic, which the NC side shares,
// are in mailbox/MailboxRows.h.
#pragma once

#include <cstdint>
#include <string>

#include "mailbox/MailboxRows.h"
#include "mailbox/Readings.h"

namespace ostrana::mailbox {

// The DNC data-entry path of a row of the exchange table.
std::string CellPath(std::int32_t row);

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

}  // namespace ostrana::mailbox
