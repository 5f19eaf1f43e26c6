// The polling worker: StartPolling, StopPolling, and the passes over the
// mailbox that move records into the measure queue, answer signals and follow
// a pending alarm.
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

#include "common/EventLog.h"
#include "mailbox/MailboxLayout.h"
#include "machine/OstranaConnect.h"

namespace ostrana::machine {

using namespace mailbox;  // the exchange table's rows and readings

namespace {
// The table row at an offset from the base row, or nothing when it lies
// beyond the 32-bit row numbers (a base row near the limit, a huge ring):
// no such cell exists, so the access fails like any missing row.
std::optional<std::int32_t> RowAt(std::int32_t base, std::int64_t offset) {
  const std::int64_t row = std::int64_t{base} + offset;
  if (row < std::numeric_limits<std::int32_t>::min() || row > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(row);
}
}  // namespace

// Accesses are skipped while a command wants the mailbox, and once a stop is
// requested: the main thread joining the worker then waits for one access in
// flight, not for the rest of a pass over a slow line. A skipped access fails
// like any other, so nothing half-read is consumed.
bool OstranaConnect::ReadRow(std::int64_t offset, double& value) {
  const auto row = RowAt(baseRow.load(), offset);
  if (mailboxBusy.load() || stopRequested.load() || !row) return false;
  return lib.ReadCell(*row, value);
}

bool OstranaConnect::WriteRow(std::int64_t offset, double value) {
  const auto row = RowAt(baseRow.load(), offset);
  if (mailboxBusy.load() || stopRequested.load() || !row) return false;
  return lib.WriteCell(*row, value);
}

bool OstranaConnect::ReadSlotIndex(std::int32_t offset, std::int32_t last, std::int32_t& slot) {
  double cell = 0.0;
  if (!ReadRow(offset, cell)) return false;
  slot = IntegerReading(cell);
  return SlotInRange(slot, last);
}

void OstranaConnect::SetWorkerState(WorkerState state) {
  MutexLock guard(stateLock);
  workerState = state;
}

bool OstranaConnect::StartPolling() {
  if (mailboxBusy.load()) return false;
  const std::int32_t last = lastSlot.load();
  std::int32_t write = 0;
  if (!ReadSlotIndex(kWriteSlotRow, last, write)) return false;
  // Records already in the ring when polling starts are not delivered; how
  // many there were is said (the read slot tells, not the records).
  std::int32_t before = 0;
  const bool known = ReadSlotIndex(kReadSlotRow, last, before);
  const std::int32_t read = write == 0 ? last : write - 1;
  if (mailboxBusy.load() || !WriteRow(kReadSlotRow, read)) return false;
  Log(LogLevel::Audit, "polling",
      "read slot set to " + std::to_string(read) + " at row " + std::to_string(std::int64_t{baseRow.load()} + kReadSlotRow) +
          ": " + (known ? std::to_string(PendingCount(before, write, last)) : std::string("an unknown number of")) +
          " records in the ring skipped");
  if (!worker) {
    // Cleared here, before the thread exists: were the new worker to clear
    // it, a stop requested right after this start could be erased and the
    // join in StopPolling would wait forever.
    stopRequested.store(false);
    try {
      worker = std::make_unique<std::thread>([this] { PollMailbox(); });
    } catch (const std::system_error&) {
      Log(LogLevel::Error, "polling", "no thread for the worker");
      return false;  // no thread to be had: polling stays off and the client is told 0
    }
    Log(LogLevel::Info, "polling", "started at base row " + std::to_string(baseRow.load()) + ", last slot " +
                                       std::to_string(last));
  }
  return true;
}

void OstranaConnect::StopPolling() {
  if (!worker) return;
  stopRequested.store(true);
  worker->join();
  worker.reset();
  stopRequested.store(false);  // the main thread's own accesses go on
}

void OstranaConnect::PollMailbox() {
  RunState run;
  for (;;) {
    std::this_thread::sleep_for(timing.passInterval);
    std::int32_t state;
    {
      MutexLock guard(stateLock);
      if (workerState == HaltRequested) workerState = Halted;
      state = workerState;
    }
    if (state != Running) continue;  // held by a command; no stop test meanwhile
    Pass(run);
    const bool stopping = stopRequested.load();
    LogCounts(run, stopping);
    if (stopping) {
      // The signal row is lowered as the worker leaves (not while a command holds the mailbox).
      const auto row = RowAt(baseRow.load(), kSignalRow);
      if (row && !mailboxBusy.load())
        Log(LogLevel::Audit, "signal", "row " + std::to_string(*row) + " cleared as polling stops: " +
                                           (lib.WriteCell(*row, 0) ? "written" : "not written"));
      return;
    }
  }
}

void OstranaConnect::LogCounts(RunState& run, bool stopping) {
  const auto now = std::chrono::steady_clock::now();
  if (!stopping && now - run.countedSince < std::chrono::minutes(1)) return;
  const std::string unattended =
      run.unattended ? ", " + std::to_string(run.unattended) + " of them read while no client was attached" : "";
  if (run.slotWrites || run.tagWrites)
    Log(LogLevel::Audit, "mailbox", "read slot advanced " + std::to_string(run.slotWrites) +
                                        " times, attachment tag cleared " + std::to_string(run.tagWrites) +
                                        " times since the last count");
  run.slotWrites = run.tagWrites = 0;
  if (stopping) {
    Log(LogLevel::Info, "polling", "stopped: " + std::to_string(run.recordsTotal + run.records) + " records, " +
                                       std::to_string(run.actionsTotal + run.actions) + " actions in this run" +
                                       (run.unattended + run.unattendedTotal
                                            ? ", " + std::to_string(run.unattended + run.unattendedTotal) +
                                                  " of them read while no client was attached"
                                            : ""));
    return;
  }
  Log(LogLevel::Info, "polling", std::to_string(run.records) + " records, " + std::to_string(run.actions) +
                                     " actions in the last minute" + unattended);
  run.recordsTotal += std::exchange(run.records, 0);
  run.actionsTotal += std::exchange(run.actions, 0);
  run.unattendedTotal += std::exchange(run.unattended, 0);
  run.countedSince = now;
}

void OstranaConnect::PushAction(RunState& run, std::int32_t code) {
  if (!owner.PushAction(code)) ++run.unattended;
  ++run.actions;
}

bool OstranaConnect::AnswerSignal(std::int32_t signal, double answer) {
  const bool written = WriteRow(kSignalRow, answer);
  if (written)
    Log(LogLevel::Audit, "signal", std::to_string(signal) + " answered: " + std::to_string(IntegerReading(answer)) +
                                       " written to row " + std::to_string(std::int64_t{baseRow.load()} + kSignalRow));
  return written;
}

void OstranaConnect::Pass(RunState& run) {
  // One ring size for the whole pass, whatever a concurrent check publishes.
  const std::int32_t last = lastSlot.load();
  std::int32_t read = 0;
  if (!ReadSlotIndex(kReadSlotRow, last, read)) {
    if (stopRequested.load()) return;  // not lost: the worker is leaving
    if (!run.machineLost) {
      run.machineLost = true;
      Log(LogLevel::Warning, "mailbox", "lost: its read slot cannot be read");
      owner.SetMachineStatus(false);
    }
    return;
  }
  if (run.machineLost) {
    run.machineLost = false;
    Log(LogLevel::Info, "mailbox", "back");
    owner.SetMachineStatus(true);
  }
  std::int32_t write = 0;
  if (!ReadSlotIndex(kWriteSlotRow, last, write)) return;
  const std::int32_t pending = PendingCount(read, write, last);

  // Signals are looked at only when no record waits.
  if (pending == 0) {
    double cell = 0.0;
    if (!ReadRow(kSignalRow, cell)) return;
    switch (IntegerReading(cell)) {
      case 1:
        if (!AnswerSignal(1, kSignalAnswer1)) return;
        PushAction(run, 0);
        break;
      case 2:
        if (!AnswerSignal(2, kSignalAnswer2)) return;
        PushAction(run, 1);
        break;
      case 3:
        if (!AnswerSignal(3, kSignalAnswer1)) return;
        PushAction(run, 1);
        PushAction(run, 0);
        break;
      default:
        break;
    }
  }

  for (std::int32_t i = 0; i < pending; ++i) {
    // A full queue leaves the rest in the ring until the client catches up.
    if (owner.ClientAttached() && owner.MeasureQueueFull()) break;
    // Every record starts cleared: a field its kind does not fill must not
    // carry the value of the record read before it.
    MeasureRecord scratch;
    if (!ReadEvent(scratch, last, run)) break;
    scratch.context = contextValue;
    scratch.attached1 = attached1;
    scratch.attached2 = attached2;
    scratch.attached3 = attached3;
    if (!owner.PushMeasure(scratch)) ++run.unattended;
    ++run.records;
  }

  if (alarmPending.load()) {
    double cell = 0.0;
    if (!ReadRow(kCommandRow, cell)) return;
    const std::int32_t command = IntegerReading(cell);
    if (command == kCommandAlarm) return;  // not taken yet
    if (command == kAlarmAnswered) {
      if (!ReadRow(kArgumentRow1, cell)) return;
      const std::int32_t value = IntegerReading(cell);
      if (run.alarmAnswer != value)
        Log(LogLevel::Audit, "alarm", "answered by the NC program: alarm value " + std::to_string(value));
      run.alarmAnswer = value;
      if (!owner.StoreAlarmValue(value)) ++run.unattended;
    } else {
      alarmPending.store(false);
      run.alarmAnswer.reset();
      Log(LogLevel::Audit, "alarm", "ended by the NC program (command row " + std::to_string(command) + ")");
      owner.StoreAlarmValue(0);
    }
  }
}

bool OstranaConnect::ReadEvent(MeasureRecord& scratch, std::int32_t last, RunState& run) {
  std::int32_t read = 0;
  if (!ReadSlotIndex(kReadSlotRow, last, read)) return false;
  const std::int32_t next = NextSlot(read, last);
  const std::int64_t slot = SlotRowOffset(next, 0);

  double cell = 0.0;
  if (!ReadRow(slot + 0, cell)) return false;
  const TypeRow type = DecodeTypeRow(cell);
  scratch.kind = type.kind;
  scratch.detail = type.detail;
  if (!ReadRow(slot + 1, cell)) return false;
  const IdentityRow identity = DecodeIdentityRow(cell);
  scratch.id = identity.id;
  scratch.index = identity.index;
  if (scratch.kind == 2) scratch.qualifier = identity.qualifier;

  if (scratch.kind != 3 && scratch.kind != 4) {
    if (!ReadRow(slot + 2, cell)) return false;
    if (scratch.kind == 0 || scratch.kind == 1) scratch.qualifier = IntegerReading(cell);
    else scratch.value0 = RealReading(cell);
    if (!ReadRow(slot + 3, cell)) return false;
    scratch.value1 = RealReading(cell);
    if (!ReadRow(slot + 4, cell)) return false;
    scratch.value2 = RealReading(cell);
    if (!ReadRow(slot + 5, cell)) return false;
    scratch.value3 = RealReading(cell);
    if (scratch.kind == 0 && (scratch.qualifier == 1 || scratch.qualifier == 2))
      scratch.value1 = HhmmssToSeconds(scratch.value1);

    if (!ReadRow(kAttachmentTagRow, cell)) return false;
    if (TagMatches(cell, scratch.id, scratch.index)) {
      double a[3];
      for (int k = 0; k < 3; ++k)
        if (!ReadRow(kAttachmentRow1 + k, a[k])) return false;
      if (!WriteRow(kAttachmentTagRow, 0)) return false;
      ++run.tagWrites;
      attached1 = RealReading(a[0]);
      attached2 = RealReading(a[1]);
      attached3 = RealReading(a[2]);
    }
  }

  // The context row is taken before the record is consumed, so that a failed
  // read leaves the record in the ring instead of losing it.
  if (!run.contextTaken && scratch.kind == 1) {
    if (!ReadRow(kContextRow, cell)) return false;
    contextValue = RealReading(cell);
    run.contextTaken = true;
  }
  if (!WriteRow(kReadSlotRow, next)) return false;
  ++run.slotWrites;
  return true;
}

}  // namespace ostrana::machine
