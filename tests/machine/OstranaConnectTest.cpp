// The client's commands through the pause bracket.
#include <gtest/gtest.h>

#include <numeric>
#include <thread>

#include "common/EventLog.h"
#include "support/MachineFixture.h"

using namespace ostrana;
using namespace ostrana::test;

namespace {
class CommandsTest : public MachineFixture {
 protected:
  using Rows = std::array<double, 7>;  // the command row and its six arguments
};
}  // namespace

// The NC program's taking of a command is audited in the pass that sees it,
// with no later command needed; a command not taken when polling stops or the
// machine is disconnected is audited as such.
TEST_P(CommandsTest, HaltAndResumeNeedAnIdleCommandRow) {
  const std::string file = (dir.path() / "ostrana.log").string();
  EventLog::Instance().Open(file, false);
  ASSERT_TRUE(machine->StartPolling());
  EXPECT_TRUE(machine->HaltMonitoring());
  EXPECT_EQ(nc.Get(kBase + 10), 1);
  EXPECT_FALSE(machine->HaltMonitoring());  // the NC program has not taken it yet
  EXPECT_EQ(machine->Refusal(), "a command is still waiting on the machine");
  EXPECT_FALSE(machine->ResumeMonitoring());
  EXPECT_FALSE(machine->SetAlarm(2));  // nor an alarm, and none is pending
  EXPECT_FALSE(machine->AlarmPending());
  nc.Ack(0);
  EXPECT_TRUE(Logged(file, "AUDIT command: halt monitoring (code 1): taken by the NC program (command row 0)"));
  EXPECT_TRUE(machine->ResumeMonitoring());
  EXPECT_EQ(nc.Get(kBase + 10), 0);
  // The worker runs on after every command.
  nc.Post(0, 3, 0, 0, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return stores().MeasureCount() == 1; }));
  for (const char* before : {"polling stopped", "the machine was disconnected"}) {
    ASSERT_TRUE(machine->StartPolling());
    ASSERT_TRUE(machine->HaltMonitoring());
    before[0] == 'p' ? machine->StopPolling() : machine->Disconnect();
    EXPECT_TRUE(Logged(file, std::string("halt monitoring (code 1): not taken by the NC program before ") + before));
    nc.Ack(0);
  }
  EventLog::Instance().Close();
}

// A worker held in a slow access past the pause limit: the command is not
// written, and the worker goes on reading the mailbox afterwards. Then an
// alarm's life.
TEST_P(CommandsTest, APauseThatTimesOutLeavesTheWorkerReadingAndAlarmLifeCycle) {
  ASSERT_TRUE(machine->StartPolling());
  control.SetLatency(std::chrono::seconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the worker is inside an access
  EXPECT_FALSE(machine->HaltMonitoring());
  EXPECT_EQ(machine->Refusal(), "the polling worker did not pause in time");
  control.SetLatency(std::chrono::microseconds(0));
  nc.Post(0, 5, 0, 0, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return stores().MeasureCount() == 1; }));
  EXPECT_EQ(nc.Get(kBase + 10), 0);
  for (const int code : {5, -1}) EXPECT_FALSE(machine->SetAlarm(code)) << code;
  EXPECT_TRUE(machine->SetAlarm(2));
  EXPECT_FALSE(machine->SetAlarm(1));  // not placed while one is pending, and not reported as done
  EXPECT_EQ(nc.Command(), (Rows{2, 2, 0, 0, 0, 0, 0}));
  PassesGoBy();
  EXPECT_EQ(stores().AlarmValue(), 0);  // not taken yet
  nc.Ack(-2);
  ASSERT_TRUE(WaitUntil([&] { return stores().AlarmValue() == 2; }));
  EXPECT_TRUE(machine->AlarmPending());
  nc.Ack(0);
  ASSERT_TRUE(WaitUntil([&] { return !machine->AlarmPending(); }));
  EXPECT_EQ(stores().AlarmValue(), 0);
  EXPECT_TRUE(machine->SetAlarm(0));  // a new alarm, code 0 included
  EXPECT_EQ(nc.Command(), (Rows{2, 0, 0, 0, 0, 0, 0}));
  // An argument that cannot be written: the command row is not set, nothing
  // is pending, and the next command goes through.
  nc.Ack(0);
  ASSERT_TRUE(WaitUntil([&] { return !machine->AlarmPending(); }));
  control.InjectRowFault(kBase + 11, 1);
  EXPECT_FALSE(machine->SetAlarm(3));
  EXPECT_EQ(std::pair(machine->AlarmPending(), nc.Get(kBase + 10)), std::pair(false, 0.0));
  control.InjectRowFault(kBase + 13, 1);
  EXPECT_FALSE(machine->SetWcs({1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(nc.Command(), (Rows{0, 1, 2, 0, 0, 0, 0}));  // stopped at the first failed write
  EXPECT_TRUE(machine->SetWcs({10.0, 0.0, -10.0, 0.5, -0.0001, 214748.3647}));
  EXPECT_EQ(nc.Command(), (Rows{3, 10.0, 0.0, -10.0, 0.5, -0.0001, 214748.3647}));
}

// With the protocol's own timing: without a worker there is nothing to pause,
// so each command fails at once instead of holding the main thread for 10 s.
TEST_P(CommandsTest, WithoutAWorkerEveryCommandFailsAtOnceAndWritesNothing) {
  machine.reset();
  SetUpMachine(machine::MailboxTiming{});
  control.EnableAccessLog(true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(machine->HaltMonitoring());
  EXPECT_FALSE(machine->ResumeMonitoring());
  EXPECT_FALSE(machine->SetWcs({1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(machine->SetAlarm(1));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));  // was 40 s
  EXPECT_TRUE(control.TakeAccessLog().empty());
  // A pending alarm refuses a second one, polling or not.
  ASSERT_TRUE(machine->StartPolling());
  ASSERT_TRUE(machine->SetAlarm(1));
  machine->StopPolling();
  EXPECT_FALSE(machine->SetAlarm(4));
  EXPECT_EQ(nc.Command()[1], 1);
}

// A failed check never resizes the ring. A base row near the 32-bit limit,
// or a ring claiming billions of slots: the rows lie beyond any table, so
// every access fails (no overflow).
TEST_P(CommandsTest, FailedChecksAndRowsBeyondThe32BitRangeChangeNothing) {
  EXPECT_TRUE(machine->CheckMachineBuffer());
  machine->Disconnect();
  EXPECT_FALSE(machine->CheckMachineBuffer());
  ASSERT_TRUE(machine->Connect());
  ASSERT_TRUE(machine->StartPolling());
  for (const std::int32_t damaged : {kBase + 1, kBase}) {  // a bad last slot, then a bad block mark
    nc.Set(damaged, damaged == kBase ? 3 : 2147483647.0);
    EXPECT_FALSE(machine->CheckMachineBuffer());
    EXPECT_EQ(machine->LastSlot(), 4);
  }
  nc.Set(kBase + 2, 2147483646.0);  // read slot: the next record lies at slot 2^31 - 1
  nc.Set(kBase + 3, 5.0);
  PassesGoBy();  // the worker tries it, and fails
  machine->SetConnectionData("localhost", 0, INT32_MAX - 5);
  EXPECT_EQ(std::tuple(machine->HaltMonitoring(), machine->CheckMachineBuffer(), machine->StartPolling()),
            std::tuple(false, false, false));
  machine->StopPolling();
  EXPECT_THROW(nc.Init(INT32_MAX - 10), ncsim::NcError);
}

// Checks back to back while the worker polls a slow line: the worker never
// sees a half-done check, so the mailbox is never reported lost and every
// record arrives exactly once, in order.
TEST_P(CommandsTest, ChecksWhilePollingNeitherDuplicateRecordsNorFlapTheStatus) {
  ASSERT_TRUE(machine->StartPolling());
  control.SetLatency(std::chrono::milliseconds(1));
  const int before = notifier.count.load();
  constexpr int kRecords = 40;
  std::thread ncSide([&] {
    for (int id = 1; id <= kRecords;) {
      try {
        nc.Post(0, id, 0, 0, 0, 0);
        ++id;
      } catch (const ncsim::NcError&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // ring full: wait for room
      }
    }
  });
  std::vector<int> ids;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ids.size() < kRecords && std::chrono::steady_clock::now() < deadline) {
    machine->CheckMachineBuffer();
    while (auto r = stores().PopMeasure()) ids.push_back(r->id);
  }
  ncSide.join();
  std::vector<int> expected(kRecords);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(notifier.count.load(), before);
}

OSTRANA_ON_EVERY_BACKEND(CommandsTest);
