// Where things live in the mailbox block of the exchange table. Both sides of
// the mailbox use these: the connector's worker and commands, and the NC
// program (the virtual control's NC side). Constant data.
#pragma once

#include <cstdint>

namespace ostrana::mailbox {

// The exchange table on the control and the address of one of its cells.
inline constexpr const char* kTableDirectory = "TNC:\\Quorvane\\";
inline constexpr const char* kTableFileName = "Quorvane_Relavio.TAB";
inline constexpr const char* kTablePath = "TNC:\\Quorvane\\Quorvane_Relavio.TAB";
inline constexpr const char* kCellPathFormat = "\\TABLE\\'TNC:\\Quorvane\\Quorvane_Relavio.TAB'\\NR\\%d\\PARAM";
inline constexpr const char* kValueColumn = "PARAM";

// Header rows, as offsets from the base row.
inline constexpr std::int32_t kLayoutMarkRow = 0;
inline constexpr std::int32_t kLastSlotRow = 1;
inline constexpr std::int32_t kReadSlotRow = 2;
inline constexpr std::int32_t kWriteSlotRow = 3;
inline constexpr std::int32_t kSignalRow = 4;
inline constexpr std::int32_t kAttachmentTagRow = 5;
inline constexpr std::int32_t kAttachmentRow1 = 6;  // +6, +7, +8
inline constexpr std::int32_t kContextRow = 9;
inline constexpr std::int32_t kCommandRow = 10;
inline constexpr std::int32_t kArgumentRow1 = 11;  // +11 .. +16
inline constexpr std::int32_t kArgumentCount = 6;
inline constexpr std::int32_t kHeaderRows = 20;
inline constexpr std::int32_t kRecordRows = 6;

// Values both sides agree on.
inline constexpr std::int32_t kLayoutMark = 2;
inline constexpr std::int32_t kExpectedLastSlot = 4;
inline constexpr std::int32_t kCommandResume = 0;
inline constexpr std::int32_t kCommandHalt = 1;
inline constexpr std::int32_t kCommandAlarm = 2;
inline constexpr std::int32_t kCommandWcs = 3;
inline constexpr std::int32_t kAlarmAnswered = -2;
inline constexpr std::int32_t kSignalAnswer1 = -1;  // answers signals 1 and 3
inline constexpr std::int32_t kSignalAnswer2 = -2;  // answers signal 2

// The ring arithmetic both sides share: records waiting in a ring of
// lastSlot + 1 slots, the slot after `slot`, and whether a slot index is one.
inline constexpr std::int32_t PendingCount(std::int32_t read, std::int32_t write, std::int32_t lastSlot) {
  return write > read ? write - read - 1 : write - read + lastSlot;
}
inline constexpr std::int32_t NextSlot(std::int32_t slot, std::int32_t lastSlot) {
  return slot == lastSlot ? 0 : slot + 1;
}
inline constexpr bool SlotInRange(std::int32_t slot, std::int32_t lastSlot) { return slot >= 0 && slot <= lastSlot; }

// Offset of row k (0..5) of ring slot s. 64-bit: a ring read from a damaged
// table may claim any size, and the sum must not overflow.
inline constexpr std::int64_t SlotRowOffset(std::int32_t slot, std::int32_t k) {
  return kHeaderRows + std::int64_t{kRecordRows} * slot + k;
}

}  // namespace ostrana::mailbox
