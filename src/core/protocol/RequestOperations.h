// What the request dispatcher and the argument parsers may reach: the machine
// operations, the argument parsers' entry points and the event stores. One
// real implementation (MachineOperations) and test doubles. Main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "machine/EventStores.h"
#include "mailbox/MeasureRecord.h"

namespace ostrana::protocol {

// The text after a keyword's colon form, up to the next line feed.
struct Argument {
  std::string text;
  bool terminated = false;  // a line feed ended it inside the chunk
};

class RequestOperations {
 public:
  virtual ~RequestOperations() = default;

  virtual bool ParseConnectionData(const Argument& argument) = 0;
  virtual bool ApplyWcsData(const Argument& argument) = 0;
  virtual bool Connect() = 0;
  virtual void Disconnect() = 0;
  virtual bool StartPolling() = 0;
  virtual void StopPolling() = 0;
  virtual bool ResumeMonitoring() = 0;
  virtual bool HaltMonitoring() = 0;
  virtual bool CheckMachineBuffer() = 0;
  virtual bool SetAlarm(std::int32_t code) = 0;
  virtual void SetMachineStatus(bool online) = 0;
  virtual std::optional<std::int32_t> PopAction() = 0;
  virtual std::optional<mailbox::MeasureRecord> PopMeasure() = 0;
  virtual std::int32_t AlarmValue() = 0;
  virtual machine::DeviceStatus ReadDeviceStatus() = 0;
  virtual std::int32_t BaseRow() = 0;
  // The client flag: whether a client is attached (events are kept only
  // then), and who it is (address:port, for the audit lines).
  virtual void SetClientAttached(bool attached, const std::string& peer) = 0;
  virtual bool ClientAttached() const = 0;
};

}  // namespace ostrana::protocol
