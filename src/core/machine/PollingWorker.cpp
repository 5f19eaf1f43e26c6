#include "machine/PollingWorker.h"

#include <limits>
#include <string>
#include <system_error>
#include <utility>

#include "common/EventLog.h"
#include "mailbox/MailboxLayout.h"

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

// Whether an access at `offset` may be made; when not, why is noted.
bool Accessible(std::optional<std::int32_t> row, std::int64_t offset, bool busy, const char* operation) {
  if (!row)
    NoteAccessFailure(std::string(operation) + " the row at offset " + std::to_string(offset) +
                      " failed: it lies beyond the table's row numbers");
  else if (busy)
    NoteAccessFailure(std::string(operation) + " row " + std::to_string(*row) +
                      " skipped: a command holds the mailbox");
  return row && !busy;
}
}  // namespace

PollingWorker::PollingWorker(EventStores& owner, OstranaLib& lib, MailboxTiming timing)
    : owner_(owner), lib_(lib), timing_(timing) {}

PollingWorker::~PollingWorker() { Stop(); }

// Accesses are skipped while a command wants the mailbox: the pass in flight
// then ends quickly. A skipped access fails like any other, so nothing
// half-read is consumed. A stop skips nothing: the pass it waits for runs
// whole, so what the NC program posted or raised before it is not lost.
bool PollingWorker::ReadRow(std::int64_t offset, double& value) {
  const auto row = RowAt(baseRow_.load(), offset);
  return Accessible(row, offset, mailboxBusy_.load(), "reading") && lib_.ReadCell(*row, value);
}

bool PollingWorker::WriteRow(std::int64_t offset, double value) {
  const auto row = RowAt(baseRow_.load(), offset);
  return Accessible(row, offset, mailboxBusy_.load(), "writing") && lib_.WriteCell(*row, value);
}

bool PollingWorker::ReadSlotIndex(std::int32_t offset, std::int32_t& slot) {
  return ReadSlotIndex(offset, lastSlot_.load(), slot);
}

bool PollingWorker::ReadSlotIndex(std::int32_t offset, std::int32_t last, std::int32_t& slot) {
  double cell = 0.0;
  if (!ReadRow(offset, cell)) return false;
  slot = IntegerReading(cell);
  if (SlotInRange(slot, last)) return true;
  NoteAccessFailure("row " + std::to_string(std::int64_t{baseRow_.load()} + offset) + " reads " + std::to_string(slot) +
                    ", outside the ring's slots 0 to " + std::to_string(last));
  return false;
}

bool PollingWorker::Start() {
  if (thread_) return true;
  machine_ = nextMachine_;
  // Cleared here, before the thread exists: were the new thread to clear it,
  // a stop requested right after this start could be erased and the join in
  // Stop would wait forever.
  stopRequested_.store(false);
  try {
    thread_ = std::make_unique<std::thread>([this] { Loop(); });
  } catch (const std::system_error&) {
    Log(LogLevel::Error, "polling", "no thread for the worker", LogEvent(EventId::WorkerNoThread).Machine(machine_));
    return false;
  }
  Log(LogLevel::Info, "polling",
      "started at base row " + std::to_string(baseRow_.load()) + ", last slot " + std::to_string(lastSlot_.load()));
  return true;
}

void PollingWorker::Stop() {
  if (!thread_) return;
  stopRequested_.store(true);
  thread_->join();
  thread_.reset();
}

void PollingWorker::CommandPlaced(std::string what) {
  MutexLock guard(commandLock_);
  waitingCommand_ = std::move(what);
}

std::optional<std::string> PollingWorker::TakeWaitingCommand() {
  MutexLock guard(commandLock_);
  return std::exchange(waitingCommand_, std::nullopt);
}

void PollingWorker::SetState(State state) {
  MutexLock guard(stateLock_);
  workerState_ = state;
}

PollingWorker::State PollingWorker::TakeState() {
  // The test and the change under one lock: a command that has meanwhile
  // set Running again is never overwritten.
  MutexLock guard(stateLock_);
  if (workerState_ == State::HaltRequested) workerState_ = State::Halted;
  return workerState_;
}

bool PollingWorker::Hold() {
  SetState(State::HaltRequested);
  mailboxBusy_.store(true);  // the running pass skips its accesses and ends quickly
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    State state;
    {
      MutexLock guard(stateLock_);
      state = workerState_;
    }
    if (state == State::Halted || std::chrono::steady_clock::now() - start > timing_.pauseTimeout) {
      mailboxBusy_.store(false);
      return state == State::Halted;
    }
    std::this_thread::sleep_for(timing_.pausePoll);
  }
}

void PollingWorker::Release() { SetState(State::Running); }

void PollingWorker::Loop() {
  RunState run;
  for (;;) {
    std::this_thread::sleep_for(timing_.passInterval);
    if (TakeState() != State::Running) continue;  // held by a command; no stop test meanwhile
    // The last pass is one begun after the stop was asked for: it sees every
    // record posted and every signal raised before the request, even those
    // that came while the pass in progress was already past their rows.
    const bool stopping = stopRequested_.load();
    Pass(run, stopping);
    LogCounts(run, stopping);
    if (stopping) {
      if (const auto command = TakeWaitingCommand())
        Log(LogLevel::Audit, "command", *command + ": not taken by the NC program before polling stopped",
            LogEvent(EventId::CommandNotTaken).Machine(machine_).Command(*command).Reason("polling stopped"));
      // The signal row is lowered as the worker leaves (not while a command holds the mailbox).
      const auto row = RowAt(baseRow_.load(), kSignalRow);
      if (row && !mailboxBusy_.load()) {
        const bool written = lib_.WriteCell(*row, 0);
        Log(LogLevel::Audit, "signal",
            "row " + std::to_string(*row) + " cleared as polling stops: " + (written ? "written" : "not written"),
            LogEvent(EventId::SignalCleared)
                .Machine(machine_)
                .Values("row " + std::to_string(*row) + " = 0")
                .Result(written));
      }
      return;
    }
  }
}

void PollingWorker::LogCounts(RunState& run, bool stopping) {
  const auto now = std::chrono::steady_clock::now();
  if (!stopping && now - run.countedSince < timing_.countInterval) return;
  const std::string unattended =
      run.unattended ? ", " + std::to_string(run.unattended) + " of them read while no client was attached" : "";
  if (run.slotWrites || run.tagWrites)
    Log(LogLevel::Audit, "mailbox",
        "read slot advanced " + std::to_string(run.slotWrites) + " times, attachment tag cleared " +
            std::to_string(run.tagWrites) + " times since the last count",
        LogEvent(EventId::MailboxWrites)
            .Machine(machine_)
            .Values("read slot " + std::to_string(run.slotWrites) + ", attachment tag " + std::to_string(run.tagWrites))
            .Result(true));
  run.slotWrites = run.tagWrites = 0;
  if (stopping) {
    Log(LogLevel::Info, "polling",
        "stopped: " + std::to_string(run.recordsTotal + run.records) + " records, " +
            std::to_string(run.actionsTotal + run.actions) + " actions in this run" +
            (run.unattended + run.unattendedTotal ? ", " + std::to_string(run.unattended + run.unattendedTotal) +
                                                        " of them read while no client was attached"
                                                  : ""));
    return;
  }
  Log(LogLevel::Info, "polling",
      std::to_string(run.records) + " records, " + std::to_string(run.actions) + " actions in the last minute" +
          unattended);
  run.recordsTotal += std::exchange(run.records, 0);
  run.actionsTotal += std::exchange(run.actions, 0);
  run.unattendedTotal += std::exchange(run.unattended, 0);
  run.countedSince = now;
}

void PollingWorker::PushAction(RunState& run, std::int32_t code) {
  if (!owner_.PushAction(code)) ++run.unattended;
  ++run.actions;
}

void PollingWorker::Pass(RunState& run, bool lastPass) {
  // One ring size for the whole pass, whatever a concurrent check publishes.
  const std::int32_t last = lastSlot_.load();
  std::int32_t read = 0;
  if (!ReadSlotIndex(kReadSlotRow, last, read)) {
    if (stopRequested_.load()) return;  // the machine is reported offline as polling stops
    if (!run.machineLost) {
      run.machineLost = true;
      const std::string why = TakeAccessFailure();
      Log(LogLevel::Warning, "mailbox", "lost: its read slot cannot be read: " + why,
          LogEvent(EventId::MachineLost).Machine(machine_).Reason("its read slot cannot be read: " + why));
      owner_.SetMachineStatus(false);
    }
    return;
  }
  if (run.machineLost) {
    run.machineLost = false;
    Log(LogLevel::Info, "mailbox", "back", LogEvent(EventId::MachineBack).Machine(machine_));
    owner_.SetMachineStatus(true);
  }
  std::int32_t write = 0;
  if (!ReadSlotIndex(kWriteSlotRow, last, write)) return;
  const std::int32_t pending = PendingCount(read, write, last);

  // Signals are looked at only when no record waits; in the last pass also
  // after its records, since the stop lowers the signal row.
  if (pending == 0 && !AnswerSignal(run)) return;

  for (std::int32_t i = 0; i < pending; ++i) {
    // A full queue leaves the rest in the ring until the client catches up.
    if (owner_.ClientAttached() && owner_.MeasureQueueFull()) break;
    // Every record starts cleared: a field its kind does not fill must not
    // carry the value of the record read before it.
    MeasureRecord scratch;
    if (!ReadEvent(scratch, last, run)) break;
    scratch.context = contextValue_;
    scratch.attached1 = attached1_;
    scratch.attached2 = attached2_;
    scratch.attached3 = attached3_;
    if (!owner_.PushMeasure(scratch)) ++run.unattended;
    ++run.records;
  }
  if (pending > 0 && lastPass && !AnswerSignal(run)) return;

  FollowCommandRow(run);
}

bool PollingWorker::AnswerSignal(RunState& run) {
  double cell = 0.0;
  if (!ReadRow(kSignalRow, cell)) return false;
  const std::int32_t signal = IntegerReading(cell);
  if (const SignalReply* reply = ReplyTo(signal)) {
    if (!WriteRow(kSignalRow, reply->answer)) return false;
    Log(LogLevel::Audit, "signal",
        std::to_string(signal) + " answered: " + std::to_string(reply->answer) + " written to row " +
            std::to_string(std::int64_t{baseRow_.load()} + kSignalRow),
        LogEvent(EventId::SignalAnswered)
            .Machine(machine_)
            .Command("signal " + std::to_string(signal))
            .Values(std::to_string(reply->answer))
            .Result(true));
    for (std::int32_t i = 0; i < reply->actionCount; ++i) PushAction(run, reply->actions[i]);
  }
  return true;
}

// The command row is read only while the connector has something there: an
// alarm it follows, or a command the NC program has not yet taken, whose
// taking is audited in the pass that sees it.
void PollingWorker::FollowCommandRow(RunState& run) {
  const bool alarm = alarmPending_.load();
  bool waiting = false;
  {
    MutexLock guard(commandLock_);
    waiting = waitingCommand_.has_value();
  }
  if (!alarm && !waiting) return;
  double cell = 0.0;
  if (!ReadRow(kCommandRow, cell)) return;
  const std::int32_t command = IntegerReading(cell);
  if (command == 0 && waiting)
    if (const auto taken = TakeWaitingCommand())  // not meanwhile audited by a disconnect
      Log(LogLevel::Audit, "command", *taken + ": taken by the NC program (command row 0)",
          LogEvent(EventId::CommandTaken).Machine(machine_).Command(*taken));
  if (alarm) FollowAlarm(run, command);
}

void PollingWorker::FollowAlarm(RunState& run, std::int32_t command) {
  double cell = 0.0;
  if (command == kCommandAlarm) return;  // not taken yet
  if (command == kAlarmAnswered) {
    if (!ReadRow(kArgumentRow1, cell)) return;
    const std::int32_t value = IntegerReading(cell);
    if (run.alarmAnswer != value)
      Log(LogLevel::Audit, "alarm", "answered by the NC program: alarm value " + std::to_string(value),
          LogEvent(EventId::AlarmAnswered).Machine(machine_).Values(std::to_string(value)));
    run.alarmAnswer = value;
    if (!owner_.StoreAlarmValue(value)) ++run.unattended;
  } else {
    alarmPending_.store(false);
    run.alarmAnswer.reset();
    Log(LogLevel::Audit, "alarm", "ended by the NC program (command row " + std::to_string(command) + ")",
        LogEvent(EventId::AlarmEnded).Machine(machine_).Values(std::to_string(command)));
    owner_.StoreAlarmValue(0);
  }
}

bool PollingWorker::ReadEvent(MeasureRecord& scratch, std::int32_t last, RunState& run) {
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
  if (scratch.kind == kKindQualified) scratch.qualifier = identity.qualifier;

  if (!IdentityOnly(scratch.kind)) {
    if (!ReadRow(slot + 2, cell)) return false;
    if (QualifierInValueRow(scratch.kind))
      scratch.qualifier = IntegerReading(cell);
    else
      scratch.value0 = RealReading(cell);
    if (!ReadRow(slot + 3, cell)) return false;
    scratch.value1 = RealReading(cell);
    if (!ReadRow(slot + 4, cell)) return false;
    scratch.value2 = RealReading(cell);
    if (!ReadRow(slot + 5, cell)) return false;
    scratch.value3 = RealReading(cell);
    if (TimeOfDay(scratch.kind, scratch.qualifier)) scratch.value1 = HhmmssToSeconds(scratch.value1);

    if (!ReadRow(kAttachmentTagRow, cell)) return false;
    if (TagMatches(cell, scratch.id, scratch.index)) {
      double a[3];
      for (int k = 0; k < 3; ++k)
        if (!ReadRow(kAttachmentRow1 + k, a[k])) return false;
      if (!WriteRow(kAttachmentTagRow, 0)) return false;
      ++run.tagWrites;
      attached1_ = RealReading(a[0]);
      attached2_ = RealReading(a[1]);
      attached3_ = RealReading(a[2]);
    }
  }

  // The context row is taken before the record is consumed, so that a failed
  // read leaves the record in the ring instead of losing it.
  if (!run.contextTaken && scratch.kind == kKindContext) {
    if (!ReadRow(kContextRow, cell)) return false;
    contextValue_ = RealReading(cell);
    run.contextTaken = true;
  }
  if (!WriteRow(kReadSlotRow, next)) return false;
  ++run.slotWrites;
  return true;
}

}  // namespace ostrana::machine
