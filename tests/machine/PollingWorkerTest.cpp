// The polling worker against the virtual control, with the NC program on the
// other side of the mailbox.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "support/MachineFixture.h"

using namespace ostrana;
using namespace ostrana::test;

namespace {

// A record's fields as text, reals to six places: what the client would see.
std::string Fields(const mailbox::MeasureRecord& r) {
  char text[256];
  std::snprintf(text, sizeof text, "%d %d %d %d %d %.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f", r.kind, r.detail, r.id,
                r.index, r.qualifier, r.value1, r.value2, r.value3, r.context, r.attached1, r.attached2, r.attached3,
                r.value0);
  return text;
}

class WorkerTest : public MachineFixture {
 protected:
  std::vector<mailbox::MeasureRecord> WaitForMeasures(std::size_t count) {
    std::vector<mailbox::MeasureRecord> got;
    WaitUntil([&] {
      while (auto r = stores().PopMeasure()) got.push_back(*r);
      return got.size() >= count;
    });
    return got;
  }
};

}  // namespace

// A start skips what is in the ring; a start that fails leaves a running
// worker running.
TEST_P(WorkerTest, RecordsAlreadyInTheRingAreNeverDeliveredAndAFailedStartStopsNothing) {
  nc.Post(0, 1, 0, 0, 0, 0);
  nc.Post(0, 2, 0, 0, 0, 0);
  ASSERT_TRUE(machine->StartPolling());
  nc.Post(0, 3, 0, 0, 0, 0);
  const auto got = WaitForMeasures(1);
  EXPECT_EQ(std::pair(got.size(), got.at(0).id), std::pair(std::size_t{1}, 3));
  PassesGoBy();
  EXPECT_EQ(std::pair(stores().PopMeasure().has_value(), nc.Pending()), std::pair(false, 0));
  nc.Set(kBase + 3, 5);  // a write slot outside the ring
  EXPECT_FALSE(machine->StartPolling());
  EXPECT_TRUE(machine->PollingRunning());
  nc.Init(kBase);
  ASSERT_TRUE(machine->StartPolling());
  nc.Post(0, 4, 0, 0, 0, 0);
  EXPECT_EQ(WaitForMeasures(1).size(), 1u);
}

// A kind-1 record whose context row cannot be read stays in the ring and
// comes on a later pass, with the context.
TEST_P(WorkerTest, RecordFieldsArriveAsEncoded) {
  nc.Attach(12.0005, 0.5, -0.25, 3);
  nc.Context(7.5);
  ASSERT_TRUE(machine->StartPolling());
  control.InjectRowFault(kBase + 9, 2);
  nc.Post(1.25, 12.0305, 3, 1.5, -0.01, 2);  // kind 1: context taken, attachment matches
  nc.Post(0.0, 4.0001, 1, 203.7, 0, 0);      // kind 0, qualifier 1: hhmmss to seconds
  nc.Post(2.0, 12.0305, 6.5, 1, 2, 3);       // kind 2: qualifier from the identity row
  const auto got = WaitForMeasures(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(Fields(got[0]), "1 250 12 5 3 1.500000 -0.010000 2.000000 7.500000 0.500000 -0.250000 3.000000 0.000000");
  EXPECT_EQ(nc.Get(kBase + 5), 0);  // the tag was cleared; the attachment stays current
  EXPECT_EQ(Fields(got[1]), "0 0 4 1 1 123.000000 0.000000 0.000000 7.500000 0.500000 -0.250000 3.000000 0.000000");
  EXPECT_EQ(Fields(got[2]), "2 0 12 5 3 1.000000 2.000000 3.000000 7.500000 0.500000 -0.250000 3.000000 6.500000");
  // Records of different kinds read in one pass: each starts cleared, so a
  // field its kind does not fill is 0, never the previous record's value.
  // (The context and the attachment stay those read above.)
  control.InjectFault(vc::Op::GetValue, 1 << 30);  // the worker is held off while all four are posted
  PassesGoBy(2);
  nc.Post(0.0, 1.0001, 3, 1.5, 2.5, 3.5);  // kind 0: qualifier 3, three values
  nc.Post(3.0, 2.0002, 9, 9, 9, 9);        // kind 3: kind, detail, id and index only
  nc.Post(2.0, 3.0403, 7.5, 1, 2, 3);      // kind 2: qualifier 4, value0 7.5
  nc.Post(0.0, 4.0001, 5, 0, 0, 0);        // kind 0 after kind 2: no value0
  control.ClearFaults();
  const auto pass = WaitForMeasures(4);
  ASSERT_EQ(pass.size(), 4u);
  EXPECT_EQ(Fields(pass[1]), "3 0 2 2 0 0.000000 0.000000 0.000000 7.500000 0.500000 -0.250000 3.000000 0.000000");
  EXPECT_NEAR(pass[2].value0, 7.5, 1e-7);
  EXPECT_EQ(std::pair(pass[3].qualifier, pass[3].value0), std::pair(5, 0.0));
}

// Signals are answered and their actions queued once the ring is empty; an
// answer that cannot be written leaves the signal raised.
TEST_P(WorkerTest, SignalsWaitForAnEmptyRingAndQueueTheirActions) {
  ASSERT_TRUE(machine->StartPolling());
  control.InjectFault(vc::Op::GetValue, 1 << 30);  // the worker is held off while the NC program posts and signals
  PassesGoBy(2);
  nc.Post(0, 1, 0, 0, 0, 0);
  nc.Signal(2);
  control.EnableAccessLog(true);
  control.ClearFaults();
  ASSERT_TRUE(WaitUntil([&] { return stores().ActionCount() == 1; }));
  const auto log = control.TakeAccessLog();
  auto first = [&](int row, bool write) {  // the first successful access to a row
    return std::find_if(log.begin(), log.end(),
                        [&](auto& a) { return a.ok && a.row == kBase + row && a.write == write; }) -
           log.begin();
  };
  EXPECT_LT(first(2, true), first(4, false));  // the record was consumed before the signal was read
  EXPECT_LT(first(4, false), first(4, true));
  EXPECT_EQ(std::tuple(nc.Get(kBase + 4), stores().PopAction().has_value()), std::tuple(-2, false));  // measures first
  EXPECT_TRUE(stores().PopMeasure());
  EXPECT_EQ(stores().PopAction(), 1);
  nc.Signal(1);
  ASSERT_TRUE(WaitUntil([&] { return stores().ActionCount() == 1; }));
  EXPECT_EQ(std::pair(nc.Get(kBase + 4), stores().PopAction()), std::pair(-1.0, std::optional(0)));
  // An answer that cannot be written leaves the signal raised, no action yet.
  control.InjectFault(vc::Op::SetValue, 1 << 30);
  nc.Signal(2);
  PassesGoBy();
  EXPECT_EQ(std::pair(nc.Get(kBase + 4), stores().ActionCount()), std::pair(2.0, std::size_t{0}));
  control.ClearFaults();
  ASSERT_TRUE(WaitUntil([&] { return stores().ActionCount() == 1; }));
  EXPECT_EQ(std::pair(nc.Get(kBase + 4), stores().PopAction()), std::pair(-2.0, std::optional(1)));
  EXPECT_FALSE(stores().PopAction());
}

// Loss and return of the mailbox are reported once per change. Machine
// Disconnect and a new Machine Connect while polling runs: the worker never
// reaches a closed connection, reports the loss and recovers (the
// thread-sanitizer build runs this).
TEST_P(WorkerTest, LossAndReturnOfTheMailboxAreReportedOncePerChange) {
  ASSERT_TRUE(machine->StartPolling());
  stores().SetMachineStatus(true);  // as the dispatcher does after a successful start
  const int before = notifier.count;
  control.InjectRowFault(kBase + 2, 1 << 30);
  ASSERT_TRUE(WaitUntil([&] { return !stores().ReadDeviceStatus().online; }));
  PassesGoBy(5);  // several failing passes
  EXPECT_EQ(notifier.count, before + 1);
  control.ClearFaults();
  ASSERT_TRUE(WaitUntil([&] { return stores().ReadDeviceStatus().online; }));
  PassesGoBy();
  EXPECT_EQ(std::pair(notifier.count.load(), stores().ReadDeviceStatus().name),
            std::pair(before + 2, std::string("Machine Tool")));
  machine->Disconnect();
  ASSERT_TRUE(WaitUntil([&] { return !stores().ReadDeviceStatus().online; }));
  ASSERT_TRUE(machine->Connect());
  ASSERT_TRUE(WaitUntil([&] { return stores().ReadDeviceStatus().online; }));
  nc.Post(0, 9, 0, 0, 0, 0);
  const auto got = WaitForMeasures(1);
  EXPECT_EQ(std::pair(got.size(), got.at(0).id), std::pair(std::size_t{1}, 9));
  for (int i = 0; i < 20; ++i) {  // connect and disconnect under a running worker
    machine->Disconnect();
    ASSERT_TRUE(machine->Connect());
  }
}

// While the measure queue is full, records wait in the machine's ring.
TEST_P(WorkerTest, FullQueueLeavesRecordsInTheRing) {
  machine.reset();
  SetUpMachine(FastTiming(), /*measureLimit=*/3);
  ASSERT_TRUE(machine->StartPolling());
  for (int i = 1; i <= 4; ++i) nc.Post(0, i, 0, 0, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return stores().MeasureCount() == 3; }));
  PassesGoBy();
  EXPECT_EQ(std::pair(stores().MeasureCount(), nc.Pending()), std::pair(std::size_t{3}, 1));
  std::vector<int> ids;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(WaitUntil([&] { return stores().MeasureCount() > 0; }));
    ids.push_back(stores().PopMeasure()->id);
  }
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4}));
}

// A stop lets the pass in progress run whole: a record posted and a signal
// raised just before it are consumed and answered (the next start would skip
// the record for good), kept only while a client is attached, and only then
// is the signal row lowered. "Start Machine Polling" and "Stop Machine
// Polling" in one chunk: the stop is never lost to the starting worker (the
// join would wait forever).
TEST_P(WorkerTest, AStopLetsTheLastPassRunWholeAndKeepsOnlyForAClient) {
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(machine->StartPolling());
    machine->StopPolling();
    ASSERT_FALSE(machine->PollingRunning());
  }
  // Each stop comes while the worker sleeps (passes 300 ms apart), or while a
  // slow pass (20 ms an access) may be past the rows of what came before it.
  for (const auto& [interval, latency] : {std::pair(300, 0), std::pair(1, 20)}) {
    machine.reset();
    SetUpMachine(FastTiming(std::chrono::milliseconds(interval)));
    control.SetLatency(std::chrono::milliseconds(latency));
    for (int i = 0; i < 6; ++i) {  // a signal raised beside a record is answered too
      stores().SetClientAttached(i >= 3);
      ASSERT_TRUE(machine->StartPolling());
      std::this_thread::sleep_for(std::chrono::milliseconds(15 * i * (latency > 0)));
      nc.Post(0, 7, 0, 0, 0, 0);
      nc.Signal(i % 2 ? 3 : 0);
      machine->StopPolling();
      EXPECT_EQ(std::pair(nc.Pending(), nc.Get(kBase + 4)), std::pair(0, 0.0)) << i;  // consumed, answered, lowered
    }
    EXPECT_EQ(std::pair(stores().MeasureCount(), stores().ActionCount()), std::pair(std::size_t{3}, std::size_t{4}));
    // The actions follow the three records (popped first, in sequence).
    const auto first = (stores().PopMeasure(), stores().PopMeasure(), stores().PopMeasure(), stores().PopAction());
    EXPECT_EQ(std::pair(first, stores().PopAction()), std::pair(std::optional(1), std::optional(0)));  // signal 3
  }
}

OSTRANA_ON_EVERY_BACKEND(WorkerTest);
