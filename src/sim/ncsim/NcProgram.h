// The NC program's side of the mailbox, played on the virtual control: what
// the program running on a real machine does with the exchange table. Used by
// the NC console, by tests and by benchmarks.
//
// Every operation works on the table directly (no faults, no latency: those
// belong to the connector's road through the component) and is atomic with
// respect to the connector's cell accesses. Failures throw NcError with a
// short reason. Callable from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "vc/VirtualControl.h"

namespace ostrana::ncsim {

class NcError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class NcProgram {
 public:
  explicit NcProgram(vc::VirtualControl& control) : control_(control) {}

  // A fresh block at `baseRow`: layout mark 2, `lastSlot`, an empty ring,
  // signal, attachment, context, command and argument rows 0.
  void Init(std::int32_t baseRow, std::int32_t lastSlot = 4);
  std::int32_t BaseRow() const { return base_.load(); }

  // Writes one record into the next free slot and advances the write slot.
  // Returns the slot; throws NcError("full") when no slot is free.
  std::int32_t Post(double type, double identity, double v0, double v1, double v2, double v3);
  void Signal(double value);
  void Attach(double tag, double a1, double a2, double a3);
  void Context(double value);
  // The command row followed by its six arguments.
  std::array<double, 7> Command();
  void Ack(double value);
  // Records written and not yet read by the connector.
  std::int32_t Pending();

  // Absolute rows of the exchange table.
  double Get(std::int64_t row);
  void Set(std::int64_t row, double value);

 private:
  void RequireInit() const;
  vc::VirtualControl& control_;
  std::atomic<std::int32_t> base_{-1};
  std::atomic<bool> initialised_{false};
};

}  // namespace ostrana::ncsim
