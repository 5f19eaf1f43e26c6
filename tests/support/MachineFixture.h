// A connector-side machine connection on a virtual control, connected, with
// the NC program's mailbox block set up at base row 100; on each backend.
// And a wait for a line of the event log.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "common/EventLog.h"
#include "machine/EventStores.h"
#include "machine/OstranaConnect.h"
#include "support/Backends.h"
#include "support/TestSupport.h"
#include "ncsim/NcProgram.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

namespace ostrana::test {

class RecordingNotifier final : public machine::StatusNotifier {
 public:
  void ConnectionStatusChanged(bool) override { ++count; }
  std::atomic<int> count{0};
};

// A short pass interval and pause timeout, so that tests of a command whose
// pause times out take half a second instead of ten.
inline machine::MailboxTiming FastTiming(std::chrono::milliseconds passInterval = std::chrono::milliseconds(20)) {
  return {.passInterval = passInterval,
          .pausePoll = std::chrono::milliseconds(10),
          .pauseTimeout = std::chrono::milliseconds(500)};
}

// Waits until the event log's file `file` holds `text`, the log written out
// as it goes.
inline bool Logged(const std::string& file, const std::string& text) {
  return WaitUntil([&] {
    return EventLog::Instance().Drain(std::chrono::seconds(1)) && ReadText(file).find(text) != std::string::npos;
  });
}

class MachineFixture : public ::testing::TestWithParam<Backend> {
 protected:
  static constexpr std::int32_t kBase = 100;

  MachineFixture() : control(dir.path() / "tnc"), component(control), backend(GetParam(), component), nc(control) {}

  // Connects (the table is made from the template) and sets up the block.
  void SetUpMachine(machine::MailboxTiming timing = FastTiming(),
                    std::size_t measureLimit = machine::kMeasureQueueLimit) {
    storesOwned = std::make_unique<machine::EventStores>(&notifier, measureLimit);
    machine = std::make_unique<machine::OstranaConnect>(stores(), backend, prompts, TemplateFile().string(), timing);
    machine->SetConnectionData("localhost", 0, kBase);
    ASSERT_TRUE(machine->Connect());
    nc.Init(kBase);
    machine->CheckMachineBuffer();
    stores().SetClientAttached(true);
  }

  machine::EventStores& stores() { return *storesOwned; }
  // Waits until the worker has made at least `passes` more passes (each
  // begins with two reads, a failing one with one): the event to wait for
  // where a test expects that nothing happens meanwhile.
  void PassesGoBy(int passes = 3) {
    const auto start = control.CellAccessCount();
    EXPECT_TRUE(WaitUntil([&] { return control.CellAccessCount() >= start + 2 * static_cast<unsigned>(passes); }));
  }
  void SetUp() override { SetUpMachine(); }
  void TearDown() override { machine.reset(); }

  TempDir dir;  // (the members below are declared in this order on purpose)
  vc::VirtualControl control;
  vc::VcComponent component;
  BackendComponent backend;  // the component as the machine connection reaches it
  ncsim::NcProgram nc;
  ScriptedPrompts prompts;
  RecordingNotifier notifier;
  std::unique_ptr<machine::EventStores> storesOwned;
  std::unique_ptr<machine::OstranaConnect> machine;
};

}  // namespace ostrana::test
