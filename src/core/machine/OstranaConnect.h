// OstranaConnect is the connector's one connection to the machine tool: the
// DNC connection (through its OstranaLib), the connection data the client
// sent, and the mailbox on the exchange table with its polling worker and the
// commands that pause it.
//
// Threads: every public operation runs on the main thread, one at a time.
// The polling worker (one std::thread, owned here) runs PollMailbox and
// ReadEvent. Shared with it: the cells (through OstranaLib, safe against a
// concurrent Disconnect), `workerState` under `stateLock`, and atomics.
// `stateLock` is held only to read or set `workerState`, never across a cell
// access, a sleep or a store operation.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/Mutex.h"
#include "machine/OstranaLib.h"
#include "machine/EventStores.h"
#include "mailbox/MeasureRecord.h"

namespace ostrana::machine {

enum WorkerState : std::int32_t { Running = 0, HaltRequested = 1, Halted = 2 };

// The mailbox's clock. The defaults are the protocol's; tests and benchmarks
// may shorten the pause timeout.
struct MailboxTiming {
  std::chrono::milliseconds passInterval{100};
  std::chrono::milliseconds pausePoll{100};
  std::chrono::milliseconds pauseTimeout{10000};
};

class OstranaConnect {
 public:
  OstranaConnect(EventStores& owner, dnc::IComponent& component, Prompts& prompts,
                 std::string modulePath, MailboxTiming timing = {});
  // Stops a running worker before anything it uses goes away.
  virtual ~OstranaConnect();
  OstranaConnect(const OstranaConnect&) = delete;
  OstranaConnect& operator=(const OstranaConnect&) = delete;

  // The machine connection.
  bool Connect();
  void Disconnect();

  // The polling worker.
  bool StartPolling();
  void StopPolling();
  bool PollingRunning() const { return static_cast<bool>(worker); }

  // The commands.
  bool HaltMonitoring();
  bool ResumeMonitoring();
  bool SetAlarm(std::int32_t code);
  bool SetWcs(const std::array<double, 6>& values);
  bool CheckMachineBuffer();
  bool PauseWorker();

  // Why the last command was not written, in words (main thread).
  const std::string& Refusal() const { return refusal; }
  machine::OstranaLib& Lib() { return lib; }
  std::int32_t BaseRow() const { return baseRow.load(); }
  std::int32_t LastSlot() const { return lastSlot.load(); }
  bool AlarmPending() const { return alarmPending.load(); }

  // The connection data of "Machine Connect", stored when the request is
  // accepted (main thread; a worker runs then only when the data is the
  // same): used by the next Connect,
  // and the base row by every access to the mailbox block.
  bool SameConnectionData(const std::string& text, std::int32_t number, std::int32_t base) const {
    return text == connectionText && number == connectionNumber && base == baseRow.load();
  }
  void SetConnectionData(std::string text, std::int32_t number, std::int32_t base) {
    connectionText = std::move(text);
    connectionNumber = number;
    baseRow.store(base);
  }

 private:
  std::string connectionText;
  std::int32_t connectionNumber = 0;
  std::atomic<std::int32_t> baseRow{0};  // read by the worker

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
  void LogCounts(RunState& run, bool stopping);
  void PushAction(RunState& run, std::int32_t code);
  bool AnswerSignal(std::int32_t signal, double answer);  // the answer written, and audited
  void PollMailbox();
  void Pass(RunState& run);
  bool ReadEvent(MeasureRecord& scratch, std::int32_t last, RunState& run);
  // One mailbox access at an offset from the base row; skipped (false)
  // while a command wants the mailbox.
  bool ReadRow(std::int64_t offset, double& value);
  bool WriteRow(std::int64_t offset, double value);
  // A ring index row, valid only within 0..last.
  bool ReadSlotIndex(std::int32_t offset, std::int32_t last, std::int32_t& slot);
  template <class Work>
  bool PauseBracket(Work&& work);
  bool CommandRowIdle();
  // Writes a command's code into the command row; it waits there until the
  // NC program takes it (audited when the row is next read as 0).
  bool PlaceCommand(std::int32_t code, const char* name);
  bool Refuse(const char* why);  // notes the first reason of a refusal; false
  void SetWorkerState(WorkerState state);

  EventStores& owner;
  machine::OstranaLib lib;
  MailboxTiming timing;

  Mutex stateLock;  // guards workerState only
  std::unique_ptr<std::thread> worker;
  std::atomic<bool> stopRequested{false};
  std::int32_t workerState GUARDED_BY(stateLock) = Running;
  std::atomic<bool> mailboxBusy{false};
  std::atomic<std::int32_t> lastSlot{0};
  double contextValue = 0.0;             // worker thread only
  double attached1 = 0.0, attached2 = 0.0, attached3 = 0.0;  // worker thread only
  std::atomic<bool> alarmPending{false};
  std::string refusal;                        // main thread only
  std::optional<std::string> waitingCommand;  // main thread only: placed, not yet taken
  Prompts& prompts;
};

}  // namespace ostrana::machine
