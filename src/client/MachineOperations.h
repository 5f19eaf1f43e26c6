// The request operations over one machine connection and its event stores:
// what a request reaches, without the sockets. Standard C++ only, so the
// dispatcher can be fuzzed and stressed without an event loop. The Connector
// adds the listener and the client connection. Main thread only, except the
// stores' worker side (see EventStores).
#pragma once

#include <memory>
#include <string>

#include "client/RequestOperations.h"
#include "common/Prompts.h"
#include "dnc/Dnc.h"
#include "mailbox/EventStores.h"
#include "mailbox/OstranaConnect.h"

namespace ostrana::client {

class MachineOperations : public RequestOperations {
 public:
  MachineOperations(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                    mailbox::MailboxTiming timing, mailbox::StatusNotifier* notifier,
                    std::size_t measureLimit = mailbox::kMeasureQueueLimit);
  ~MachineOperations() override;

  mailbox::EventStores& Stores() { return stores_; }
  const mailbox::EventStores& Stores() const { return stores_; }
  mailbox::OstranaConnect& Machine() { return *machine_; }
  // Stops a running worker and releases the machine; what is left can no
  // longer call back. Safe to call twice.
  void ReleaseMachine();

  bool ParseConnectionData(const Argument& argument) override;
  bool ApplyWcsData(const Argument& argument) override;
  bool Connect() override { return machine_->Connect(); }
  void Disconnect() override { machine_->Disconnect(); }
  bool StartPolling() override { return machine_->StartPolling(); }
  void StopPolling() override { machine_->StopPolling(); }
  // The commands that write to the machine leave an audit line in the event
  // log: what was asked, what was written, and the answer.
  bool ResumeMonitoring() override;
  bool HaltMonitoring() override;
  bool CheckMachineBuffer() override { return machine_->CheckMachineBuffer(); }
  bool SetAlarm(std::int32_t code) override;
  void SetMachineStatus(bool online) override { stores_.SetMachineStatus(online); }
  std::optional<std::int32_t> PopAction() override { return stores_.PopAction(); }
  std::optional<mailbox::MeasureRecord> PopMeasure() override { return stores_.PopMeasure(); }
  std::int32_t AlarmValue() override { return stores_.AlarmValue(); }
  mailbox::DeviceStatus ReadDeviceStatus() override { return stores_.ReadDeviceStatus(); }
  std::int32_t BaseRow() override { return machine_->BaseRow(); }

 private:
  Prompts& prompts_;
  mailbox::EventStores stores_;  // before the machine: the worker pushes into it
  std::unique_ptr<mailbox::OstranaConnect> machine_;
};

}  // namespace ostrana::client
