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
inline constexpr std::int32_t kAlarmCodeLast = 4;  // alarm codes run 0 to 4

// The NC program's signals in the signal row, and how the worker replies to
// each: the answer it writes back, then the action codes it queues, in order.
struct SignalReply {
  std::int32_t signal;
  std::int32_t answer;
  std::int32_t actions[2];
  std::int32_t actionCount;
};
inline constexpr SignalReply kSignalReplies[] = {
    {1, -1, {0, 0}, 1},
    {2, -2, {1, 0}, 1},
    {3, -1, {1, 0}, 2},
};
// The reply to a signal row's reading; null for a reading that is no signal.
inline constexpr const SignalReply* ReplyTo(std::int32_t signal) {
  for (const SignalReply& reply : kSignalReplies)
    if (reply.signal == signal) return &reply;
  return nullptr;
}

// Record kinds (the type row), by what their slot holds: kinds 0 and 1 keep
// the qualifier in value row 0 (kind 0 with qualifier 1 or 2 a time of day
// as hhmmss in value row 1; the first kind 1 of a worker run makes it take
// the context row); kind 2 keeps it in the identity row and a real in value
// row 0, as every other kind does; kinds 3 and 4 are the type and identity
// rows alone, with no attachment check.
inline constexpr std::int32_t kKindTimed = 0;
inline constexpr std::int32_t kKindContext = 1;
inline constexpr std::int32_t kKindQualified = 2;
inline constexpr bool QualifierInValueRow(std::int32_t kind) { return kind == kKindTimed || kind == kKindContext; }
inline constexpr bool IdentityOnly(std::int32_t kind) { return kind == 3 || kind == 4; }
inline constexpr bool TimeOfDay(std::int32_t kind, std::int32_t qualifier) {
  return kind == kKindTimed && (qualifier == 1 || qualifier == 2);
}

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
