// The request operations over one machine connection and its event stores:
// what a request reaches, without the sockets. Standard C++ only, so the
// dispatcher can be fuzzed and stressed without an event loop. ConnectorRun
// adds the client session. Main thread only, except the
// stores' worker side (see EventStores).
#pragma once

#include <memory>
#include <string>

#include "protocol/RequestOperations.h"
#include "common/Prompts.h"
#include "dnc/Dnc.h"
#include "machine/EventStores.h"
#include "machine/OstranaConnect.h"

namespace ostrana::run {

class MachineOperations : public protocol::RequestOperations {
 public:
  MachineOperations(dnc::IComponent& component, Prompts& prompts, std::string modulePath, machine::MailboxTiming timing,
                    machine::StatusNotifier* notifier, std::size_t measureLimit = machine::kMeasureQueueLimit);
  ~MachineOperations() override;

  machine::EventStores& Stores() { return stores_; }
  const machine::EventStores& Stores() const { return stores_; }
  machine::OstranaConnect& Machine() { return *machine_; }
  // At the end of a run: stops a running worker and releases the machine;
  // what is left can no longer call back. What the stores still hold for a
  // client then goes whole into the log. Safe to call twice.
  void ReleaseMachine();

  bool ParseConnectionData(const protocol::Argument& argument) override;
  bool ApplyWcsData(const protocol::Argument& argument) override;
  bool Connect() override { return machine_->Connect(); }
  void Disconnect() override { machine_->Disconnect(); }
  // A refusal of these two leaves a line in the event log with its reason.
  bool StartPolling() override;
  void StopPolling() override { machine_->StopPolling(); }
  // The commands that write to the machine leave an audit line in the event
  // log: what was asked, what was written, and the answer.
  bool ResumeMonitoring() override;
  bool HaltMonitoring() override;
  bool CheckMachineBuffer() override;
  bool SetAlarm(std::int32_t code) override;
  void SetMachineStatus(bool online) override { stores_.SetMachineStatus(online); }
  std::optional<std::int32_t> PopAction() override { return stores_.PopAction(); }
  std::optional<mailbox::MeasureRecord> PopMeasure() override { return stores_.PopMeasure(); }
  std::int32_t AlarmValue() override { return stores_.AlarmValue(); }
  machine::DeviceStatus ReadDeviceStatus() override { return stores_.ReadDeviceStatus(); }
  std::int32_t BaseRow() override { return machine_->BaseRow(); }
  void SetClientAttached(bool attached, const std::string& peer) override;
  bool ClientAttached() const override { return stores_.ClientAttached(); }

 private:
  std::string Client() const;  // the attached client's address:port, for the log
  // One AUDIT line: the command, who asked, and whether it was written (or why not).
  void Audit(const std::string& command, bool done, const std::string& values = {});
  // The request's answer; when it is a refusal, a line with the reason.
  bool Refused(const char* request, bool done);

  Prompts& prompts_;
  std::string client_;
  machine::EventStores stores_;  // before the machine: the worker pushes into it
  std::unique_ptr<machine::OstranaConnect> machine_;
};

}  // namespace ostrana::run
