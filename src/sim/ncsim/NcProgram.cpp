#include "ncsim/NcProgram.h"

#include <climits>
#include <vector>

#include "mailbox/MailboxRows.h"
#include "mailbox/Readings.h"

namespace ostrana::ncsim {

using namespace vc;  // the control the NC side runs on
namespace mb = ostrana::mailbox;

namespace {

double CellNumber(const TabTable& table, std::int64_t row) {
  auto cell = table.Cell(row, mb::kValueColumn);
  if (!cell) throw NcError("no row " + std::to_string(row));
  if (cell->empty()) return 0.0;
  auto number = ParseNumber(*cell);
  if (!number) throw NcError("row " + std::to_string(row) + " holds no number");
  return *number;
}

void SetNumber(TabTable& table, std::int64_t row, double value) {
  if (!table.SetCell(row, mb::kValueColumn, FormatNumber(value))) throw NcError("no row " + std::to_string(row));
}

std::string Describe(dnc::HRESULT hr) {
  if (hr == dnc::kFileNotFound) return "no table (connect the connector once to create it)";
  return "table not usable";
}

// Runs `edit` as one atomic change of the exchange table; NcError from inside
// leaves the table as it was.
template <class F>
void Edit(VirtualControl& control, F&& edit) {
  std::string error;
  const dnc::HRESULT hr = control.EditTable(mb::kTablePath, [&](TabTable& t) {
    try {
      edit(t);
      return true;
    } catch (const NcError& e) {
      error = e.what();
      return false;
    }
  });
  if (!error.empty()) throw NcError(error);
  if (dnc::Failed(hr)) throw NcError(Describe(hr));
}

template <class F>
void View(VirtualControl& control, F&& view) {
  std::string error;
  const dnc::HRESULT hr = control.ViewTable(mb::kTablePath, [&](const TabTable& t) {
    try {
      view(t);
    } catch (const NcError& e) {
      error = e.what();
    }
  });
  if (!error.empty()) throw NcError(error);
  if (dnc::Failed(hr)) throw NcError(Describe(hr));
}

std::int32_t PendingIn(const TabTable& t, std::int32_t base) {
  const std::int32_t last = IntegerReading(CellNumber(t, base + mb::kLastSlotRow));
  const std::int32_t read = IntegerReading(CellNumber(t, base + mb::kReadSlotRow));
  const std::int32_t write = IntegerReading(CellNumber(t, base + mb::kWriteSlotRow));
  if (last < 0 || !mb::SlotInRange(read, last) || !mb::SlotInRange(write, last))
    throw NcError("ring indices out of range");
  return mb::PendingCount(read, write, last);
}

}  // namespace

void NcProgram::RequireInit() const {
  if (!initialised_.load()) throw NcError("no block (init first)");
}

void NcProgram::Init(std::int32_t baseRow, std::int32_t lastSlot) {
  if (lastSlot < 0 || lastSlot > 1000) throw NcError("last slot out of range");
  const std::int64_t end = std::int64_t{baseRow} + mb::SlotRowOffset(lastSlot, mb::kRecordRows - 1);
  if (baseRow < 0 || end > INT32_MAX) throw NcError("base row out of range");
  Edit(control_, [&](TabTable& t) {
    for (std::int64_t row = baseRow; row <= end; ++row) SetNumber(t, row, 0.0);
    SetNumber(t, baseRow + mb::kLayoutMarkRow, mb::kLayoutMark);
    SetNumber(t, baseRow + mb::kLastSlotRow, lastSlot);
    // Empty ring: the write slot is one past the read slot.
    SetNumber(t, baseRow + mb::kReadSlotRow, 0);
    SetNumber(t, baseRow + mb::kWriteSlotRow, lastSlot == 0 ? 0 : 1);
  });
  base_.store(baseRow);
  initialised_.store(true);
}

std::int32_t NcProgram::Post(double type, double identity, double v0, double v1, double v2, double v3) {
  RequireInit();
  const std::int32_t base = base_.load();
  std::int32_t slot = 0;
  Edit(control_, [&](TabTable& t) {
    const std::int32_t last = IntegerReading(CellNumber(t, base + mb::kLastSlotRow));
    // Never over an unread slot: at most lastSlot records may wait.
    if (PendingIn(t, base) >= last) throw NcError("full");
    slot = IntegerReading(CellNumber(t, base + mb::kWriteSlotRow));
    const double values[mb::kRecordRows] = {type, identity, v0, v1, v2, v3};
    for (std::int32_t k = 0; k < mb::kRecordRows; ++k) SetNumber(t, base + mb::SlotRowOffset(slot, k), values[k]);
    SetNumber(t, base + mb::kWriteSlotRow, mb::NextSlot(slot, last));
  });
  return slot;
}

void NcProgram::Signal(double value) {
  RequireInit();
  Edit(control_, [&](TabTable& t) { SetNumber(t, base_.load() + mb::kSignalRow, value); });
}

void NcProgram::Attach(double tag, double a1, double a2, double a3) {
  RequireInit();
  const std::int32_t base = base_.load();
  Edit(control_, [&](TabTable& t) {
    SetNumber(t, base + mb::kAttachmentRow1, a1);
    SetNumber(t, base + mb::kAttachmentRow1 + 1, a2);
    SetNumber(t, base + mb::kAttachmentRow1 + 2, a3);
    SetNumber(t, base + mb::kAttachmentTagRow, tag);
  });
}

void NcProgram::Context(double value) {
  RequireInit();
  Edit(control_, [&](TabTable& t) { SetNumber(t, base_.load() + mb::kContextRow, value); });
}

std::array<double, 7> NcProgram::Command() {
  RequireInit();
  std::array<double, 7> rows{};
  View(control_, [&](const TabTable& t) {
    for (std::int32_t i = 0; i < 7; ++i) rows[i] = CellNumber(t, base_.load() + mb::kCommandRow + i);
  });
  return rows;
}

void NcProgram::Ack(double value) {
  RequireInit();
  Edit(control_, [&](TabTable& t) { SetNumber(t, base_.load() + mb::kCommandRow, value); });
}

std::int32_t NcProgram::Pending() {
  RequireInit();
  std::int32_t n = 0;
  View(control_, [&](const TabTable& t) { n = PendingIn(t, base_.load()); });
  return n;
}

double NcProgram::Get(std::int64_t row) {
  double value = 0;
  View(control_, [&](const TabTable& t) { value = CellNumber(t, row); });
  return value;
}

void NcProgram::Set(std::int64_t row, double value) {
  Edit(control_, [&](TabTable& t) { SetNumber(t, row, value); });
}

}  // namespace ostrana::ncsim
