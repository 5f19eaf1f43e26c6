// OstranaConnect is the connector's one connection to the machine tool, the
// one the rest of the program holds: the DNC session (its OstranaLib), the
// connection data the client sent, the polling worker over the mailbox on
// the exchange table (its PollingWorker) and the commands that hold it.
//
// Threads: every public operation runs on the main thread, one at a time.
// The worker's thread is its PollingWorker's; what it shares with the main
// thread is said there.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "machine/EventStores.h"
#include "machine/OstranaLib.h"
#include "machine/PollingWorker.h"

namespace ostrana::machine {

class OstranaConnect {
 public:
  OstranaConnect(EventStores& owner, dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                 MailboxTiming timing = {});
  // Stops a running worker before anything it uses goes away.
  virtual ~OstranaConnect();
  OstranaConnect(const OstranaConnect&) = delete;
  OstranaConnect& operator=(const OstranaConnect&) = delete;

  // The machine connection.
  bool Connect();
  void Disconnect();

  // The polling worker: started with the ring's records so far skipped.
  bool StartPolling();
  void StopPolling() { worker_.Stop(); }
  bool PollingRunning() const { return worker_.Running(); }

  // The commands: each placed in the command row while the worker is held.
  bool HaltMonitoring();
  bool ResumeMonitoring();
  bool SetAlarm(std::int32_t code);
  bool SetWcs(const std::array<double, 6>& values);
  bool CheckMachineBuffer();

  // Why the last command, start of polling or buffer check was refused, in
  // words: for a mailbox access, the row, the operation and what the
  // component answered (main thread).
  const std::string& Refusal() const { return refusal_; }
  machine::OstranaLib& Lib() { return lib_; }
  std::int32_t BaseRow() const { return worker_.BaseRow(); }
  std::int32_t LastSlot() const { return worker_.LastSlot(); }
  bool AlarmPending() const { return worker_.AlarmPending(); }

  // The connection data of "Machine Connect", stored when the request is
  // accepted (a worker runs then only when the data is the same): used by
  // the next Connect, and the base row by every access to the mailbox block.
  bool SameConnectionData(const std::string& text, std::int32_t number, std::int32_t base) const {
    return text == connectionText_ && number == connectionNumber_ && base == worker_.BaseRow();
  }
  void SetConnectionData(std::string text, std::int32_t number, std::int32_t base) {
    connectionText_ = std::move(text);
    connectionNumber_ = number;
    worker_.SetBaseRow(base);
  }
  // The connection text and number, as the log's events name the machine: "TNC640,1".
  std::string MachineText() const { return connectionText_ + "," + std::to_string(connectionNumber_); }

 private:
  template <class Work>
  bool HoldingWorker(Work&& work);
  bool CommandRowIdle();
  // Writes a command's code into the command row; it waits there until the
  // NC program takes it, followed by the worker.
  bool PlaceCommand(std::int32_t code, const char* name);
  // A command still waiting when the connection goes is audited as not taken.
  void ForgetWaitingCommand();
  bool Refuse(const std::string& why);  // notes the first reason of a refusal; false
  bool RefuseAccess(const char* what);  // a refusal for the mailbox access that just failed
  bool RefuseReading(const char* what, std::int32_t offset, double cell, std::int32_t expected);

  std::string connectionText_;
  std::int32_t connectionNumber_ = 0;
  Prompts& prompts_;
  machine::OstranaLib lib_;
  PollingWorker worker_;  // after the session it reads through, gone before it
  std::string refusal_;
};

}  // namespace ostrana::machine
