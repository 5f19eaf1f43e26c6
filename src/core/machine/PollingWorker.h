// The polling worker: the one background thread of the connector. While it
// runs it visits the mailbox every pass interval, moves event records into
// the measure queue, answers the NC program's signals with action codes,
// follows a pending alarm and reports whether the mailbox can be reached.
// It also follows a command the connector placed until the NC program takes
// it. Its mailbox accesses (ReadRow, WriteRow) are the ones the commands use
// too: they are skipped while a command holds the mailbox.
//
// Threads: Start, Stop, Hold and Release, CommandPlaced and the setters, on
// the main thread; ReadRow/WriteRow on either (the main thread only while the
// worker is held or not running), TakeWaitingCommand on either. The worker's
// own thread runs Loop and the pass. `stateLock_` is held only to read or set
// `workerState_`, `commandLock_` only to read or set `waitingCommand_`;
// neither across a cell access, a sleep, a log line or a store operation, and
// never both at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "common/Mutex.h"
#include "machine/EventStores.h"
#include "machine/OstranaLib.h"
#include "mailbox/MeasureRecord.h"

namespace ostrana::machine {

// The mailbox's clock. The defaults are the protocol's; tests and benchmarks
// may shorten them (a benchmark that runs an hour of passes in minutes
// shortens the counts' minute alike).
struct MailboxTiming {
  std::chrono::milliseconds passInterval{100};
  std::chrono::milliseconds pausePoll{100};
  std::chrono::milliseconds pauseTimeout{10000};
  std::chrono::milliseconds countInterval{60000};  // the worker's counts go into the log once in this
};

class PollingWorker {
 public:
  PollingWorker(EventStores& owner, OstranaLib& lib, MailboxTiming timing);
  // Stops a running worker before anything it uses goes away.
  ~PollingWorker();
  PollingWorker(const PollingWorker&) = delete;
  PollingWorker& operator=(const PollingWorker&) = delete;

  // Starts the thread when none runs; false when no thread can be had.
  bool Start();
  // The machine as the log's events name it ("TNC640,1"), for the next Start.
  void NameMachine(std::string text) { nextMachine_ = std::move(text); }
  // Ends the thread after one whole pass begun after the request (every
  // record posted before it delivered, a signal raised before it answered):
  // the wait is at most the rest of the pass in progress, one pass interval
  // and one pass. The signal row is then lowered, and a command the NC
  // program has not taken is audited as such.
  void Stop();
  bool Running() const { return static_cast<bool>(thread_); }

  // The pause handshake of a command: Hold asks the worker to stop between
  // passes and waits for it (the pass in flight skips its accesses and ends
  // quickly); false when it did not pause within the timeout. Release lets
  // it run again, after a Hold that failed too.
  bool Hold();
  void Release();

  // One mailbox access at an offset from the base row; false when skipped
  // (a command wants the mailbox) or failed, with why noted (NoteAccessFailure).
  bool ReadRow(std::int64_t offset, double& value);
  bool WriteRow(std::int64_t offset, double value);
  // A ring index row, valid only within 0..LastSlot(); a reading outside is noted as a failure.
  bool ReadSlotIndex(std::int32_t offset, std::int32_t& slot);

  // The mailbox block: where it starts, how large its ring is (published
  // once the block is checked), and whether an alarm command is followed.
  std::int32_t BaseRow() const { return baseRow_.load(); }
  void SetBaseRow(std::int32_t row) { baseRow_.store(row); }
  std::int32_t LastSlot() const { return lastSlot_.load(); }
  void SetLastSlot(std::int32_t last) { lastSlot_.store(last); }
  bool AlarmPending() const { return alarmPending_.load(); }
  void SetAlarmPending(bool pending) { alarmPending_.store(pending); }

  // A command the connector wrote into the command row, in words for the
  // audit: each pass reads the row while it waits there, and audits it as
  // taken when the row reads 0. Placed while the worker is held.
  void CommandPlaced(std::string what);
  // The waiting command, no longer followed; nothing when none waits.
  std::optional<std::string> TakeWaitingCommand();

 private:
  enum class State : std::int32_t { Running, HaltRequested, Halted };
  // What one run of the thread counts and remembers.
  struct RunState {
    bool machineLost = false;
    bool contextTaken = false;
    std::optional<std::int32_t> alarmAnswer;  // the NC program's answer last logged
    // Counted for the log, not logged one by one.
    long records = 0, actions = 0, recordsTotal = 0, actionsTotal = 0;
    long unattended = 0, unattendedTotal = 0;  // read while no client was attached (logged each)
    long slotWrites = 0, tagWrites = 0;        // the worker's own writes, audited per minute
    std::chrono::steady_clock::time_point countedSince = std::chrono::steady_clock::now();
  };

  void Loop();
  // `lastPass`: the pass that ends the run, begun after the stop was asked for.
  void Pass(RunState& run, bool lastPass);
  // Answers a raised signal with its reply and actions; false when a mailbox
  // access failed (the pass ends there).
  bool AnswerSignal(RunState& run);
  void FollowCommandRow(RunState& run);
  void FollowAlarm(RunState& run, std::int32_t command);
  bool ReadEvent(MeasureRecord& scratch, std::int32_t last, RunState& run);
  bool ReadSlotIndex(std::int32_t offset, std::int32_t last, std::int32_t& slot);
  void LogCounts(RunState& run, bool stopping);
  void PushAction(RunState& run, std::int32_t code);
  State TakeState();  // HaltRequested becomes Halted; the state after that
  void SetState(State state);

  EventStores& owner_;
  OstranaLib& lib_;
  const MailboxTiming timing_;
  std::atomic<std::int32_t> baseRow_{0};
  std::atomic<std::int32_t> lastSlot_{0};
  std::atomic<bool> alarmPending_{false};

  Mutex stateLock_;  // guards workerState_ only
  State workerState_ GUARDED_BY(stateLock_) = State::Running;
  std::unique_ptr<std::thread> thread_;  // main thread only
  std::string nextMachine_;              // main thread only
  std::string machine_;                  // set by Start before the thread exists, then read by the worker's events
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> mailboxBusy_{false};
  Mutex commandLock_;  // guards waitingCommand_ only
  std::optional<std::string> waitingCommand_ GUARDED_BY(commandLock_);
  // The worker thread's own: the context and attachment values records carry.
  double contextValue_ = 0.0;
  double attached1_ = 0.0, attached2_ = 0.0, attached3_ = 0.0;
};

}  // namespace ostrana::machine
