// Requests that reach a machine, dispatched as the client sends them, against
// the virtual control with the NC program on the other side.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <limits>

#include "protocol/Dispatcher.h"
#include "run/MachineOperations.h"
#include "common/EventLog.h"
#include "common/StringTable.h"
#include "support/MachineFixture.h"

using namespace ostrana;
using namespace ostrana::test;

namespace {

class MachineRequestsTest : public ::testing::Test {
 protected:
  MachineRequestsTest()
      : control(dir.path() / "tnc"),
        component(control),
        nc(control),
        ops(component, prompts, TemplateFile().string(), FastTiming(), &notifier) {}

  std::string Ask(const std::string& chunk) { return protocol::DispatchRequest(ops, chunk); }

  TempDir dir;
  vc::VirtualControl control;
  vc::VcComponent component;
  ncsim::NcProgram nc;
  ScriptedPrompts prompts;
  RecordingNotifier notifier;
  run::MachineOperations ops;
};

}  // namespace

// Each keyword of a chunk is served once, in the protocol's table order,
// whatever order the chunk has. An alarm reaches the machine only for a
// request that names exactly one alarm and ended at its line feed; anything
// else is refused unplaced.
TEST_F(MachineRequestsTest, KeywordsAreServedInTableOrderOnceEachAndAnAlarmNamesExactlyOne) {
  for (const char* unknown : {"", "send measure\n", "Hello\n"}) EXPECT_EQ(Ask(unknown), "Unknown request!\n");
  EXPECT_EQ(Ask("Start Machine Polling\nSend Device\n"), "Polling Data: 0\nDevice Data: 0,\n");  // nothing connected
  EXPECT_EQ(Ask("Send Alarm\nSend Device\nSend Device\n"), "Device Data: 0,\nAlarm Data: 0\n");
  EXPECT_EQ(Ask("Machine Disconnect\nMachine Connect: 4,localhost,0,100\r\n"),
            "Connection Data: 1\nConnection Data: 0\n");
  EXPECT_EQ(ops.BaseRow(), 100);  // the argument ran to its line feed, the carriage return read as the end of digits
  double cell = 0;
  EXPECT_FALSE(ops.Machine().Lib().ReadCell(100, cell));  // disconnected: served after the connect
  ASSERT_EQ(Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
  nc.Init(100);
  EXPECT_EQ(Ask("Locate Machine Buffer\nCheck Machine Buffer\nSend Measure\nSend Measure\n"),
            "Buffer Data: 1,64\nBuffer Data: 0,64\nNo Measures!\n");
  EXPECT_EQ(Ask("Set WCS: 1,2,3,4,5,6 Start Machine Polling"), "Polling Data: 1\nCommand Data: Set WCS,0\n");
  EXPECT_EQ(Ask("Halt Monitoring Resume Monitoring"),
            "Command Data: Resume Monitoring,1\nCommand Data: Halt Monitoring,1\n");
  EXPECT_EQ(nc.Command()[0], 1);
  nc.Ack(0);
  for (const char* refused : {"Set Alarm: Unprojected OutOfTolerance\n", "Set Alarm: outoftolerance\n",
                              "Set Alarm: OutOfTolerance", "Set Alarm:OutOfTolerance\n", "Set Alarm: X\n",
                              "Set Alarm\n", "Set Alarm:  Unprojected\n", "Set Alarm: Unprojected\r\r\n"})
    EXPECT_EQ(Ask(refused), "Command Data: Set Alarm,0\n") << refused;
  EXPECT_EQ(nc.Command()[0], 0);  // none reached the machine
  EXPECT_EQ(Ask("Set Alarm: Unspecified\r\n"), "Command Data: Set Alarm,1\n");
  EXPECT_EQ(nc.Command()[1], 4);
  EXPECT_EQ(protocol::AlarmCode({"PartAlignmentFailed", true}), 3);
}

// What the log keeps of a run: an event read while no client is attached,
// whole (it is not kept for a later client), with the ring's stale records
// counted at start; an alarm value read on every pass, when it changes; who
// asked for a command, and why one was not written.
TEST_F(MachineRequestsTest, TheLogKeepsWhatNobodyFetchedAndWhoAskedForWhat) {
  const std::string file = (dir.path() / "ostrana.log").string();
  std::atomic<long> calls{0};  // the log's clock: 100 ms a look, however fast the passes run
  const auto start = std::chrono::system_clock::now();
  EventLog::Instance().SetClock([&] { return start + std::chrono::milliseconds(100 * calls++); });
  EventLog::Instance().Open(file, false);
  ASSERT_EQ(Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
  nc.Init(100);
  nc.Post(0, 1, 0, 0, 0, 0);
  ASSERT_EQ(Ask("Check Machine Buffer\n"), "Buffer Data: 1,64\n");
  ASSERT_EQ(Ask("Start Machine Polling\n"), "Polling Data: 1\n");
  nc.Post(1, 9, 3, 1.5, 0, 0);
  ASSERT_TRUE(Logged(file, "unattended"));  // read, and dropped: only then does a client come
  ASSERT_EQ(Ask("Set Alarm: Unprojected\n"), "Command Data: Set Alarm,1\n");
  nc.Ack(-2);  // answered with alarm value 2, read on every pass from here
  ASSERT_TRUE(WaitUntil([&] { return EventLog::Instance().Counted().folded >= 30; }));
  nc.Set(111, 3);
  ASSERT_TRUE(Logged(file, "value 3"));
  nc.Ack(0);  // the alarm ends
  ASSERT_TRUE(WaitUntil([&] { return !ops.Machine().AlarmPending(); }));
  ops.SetClientAttached(true, "10.0.0.7:4711");
  EXPECT_EQ(Ask("Halt Monitoring\n"), "Command Data: Halt Monitoring,1\n");
  EXPECT_EQ(Ask("Halt Monitoring\n"), "Command Data: Halt Monitoring,0\n");
  EXPECT_EQ(Ask("Set WCS: 1,2,3\n"), "Command Data: Set WCS,0\n");
  ops.ReleaseMachine();  // no worker writes while the log's clock is set back
  EventLog::Instance().Close();
  EventLog::Instance().SetClock([] { return std::chrono::system_clock::now(); });
  const std::string log = ReadText(file);
  // Value 2 once, then its count; not a line a second.
  EXPECT_EQ(log.find("kept: alarm value 2 ("), log.rfind("kept: alarm value 2")) << log;
  for (const char* kept :
       {"AUDIT polling: read slot set to 1 at row 102: 1 records in the ring skipped",
        "INFO  unattended: read while no client was attached, not kept: Measure Data: 1,0,9,0,3,3A98,0,0,0,0,0,0,0",
        "INFO  unattended: read while no client was attached, not kept: alarm value 2\n",
        "INFO  unattended: read while no client was attached, not kept: alarm value 3\n", "alarm value 2 (",
        "AUDIT command: halt monitoring (code 1) for 10.0.0.7:4711: written, answer 1",
        "AUDIT command: halt monitoring (code 1) for 10.0.0.7:4711: not written (a command is still waiting on the "
        "machine), answer 0",
        "INFO  request: Set WCS from 10.0.0.7:4711 refused for its data '1,2,3': not six upper-case"})
    EXPECT_NE(log.find(kept), std::string::npos) << kept << "\n" << log;
}

// A refusal for a mailbox row that cannot be read or written, or reads
// wrong, says why in the log: the row, the operation, the component's answer.
// What still waits for the client as the run ends goes whole into the log.
TEST_F(MachineRequestsTest, EveryRefusalSaysWhyAndNothingQueuedIsLostAtTheEnd) {
  const std::string file = (dir.path() / "ostrana.log").string();
  EventLog::Instance().Open(file, false);
  ops.SetClientAttached(true, "10.0.0.7:4711");
  ASSERT_EQ(Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
  nc.Init(100);
  ASSERT_EQ(Ask("Check Machine Buffer\n"), "Buffer Data: 1,64\n");
  constexpr dnc::HRESULT kSharingViolation = static_cast<dnc::HRESULT>(0x80070020u);  // held by another program
  const std::tuple<std::function<void()>, const char*, const char*, const char*> cases[] = {
      // before, asked, answer, logged
      {[&] { control.InjectRowFault(103, 1, kSharingViolation); }, "Start Machine Polling\n", "Polling Data: 0\n",
       "WARN  request: Start Machine Polling from 10.0.0.7:4711 refused: the write slot cannot be read: reading row "
       "103 failed: GetValue answered 0x80070020\n"},
      {[&] { control.InjectRowFault(100, 1, kSharingViolation); }, "Check Machine Buffer\n", "Buffer Data: 0,64\n",
       "Check Machine Buffer from 10.0.0.7:4711 refused: the layout mark cannot be read: reading row 100 failed: "
       "GetValue answered 0x80070020\n"},
      {[&] { nc.Set(101, 7); }, "Check Machine Buffer\n", "Buffer Data: 0,64\n",
       "refused: the last slot at row 101 reads 7, not 4\n"},
      {[&] {
         ASSERT_EQ(Ask("Start Machine Polling\n"), "Polling Data: 1\n");
         control.InjectRowFault(110, 1, kSharingViolation);
       },
       "Halt Monitoring\n", "Command Data: Halt Monitoring,0\n",
       "not written (the command row cannot be read: reading row 110 failed: GetValue answered 0x80070020), answer 0"},
      {[&] {
         nc.Post(2, 5, 0, 0.25, 0, 0);  // queued for the client, who never fetches it
         nc.Signal(1);
         ASSERT_TRUE(WaitUntil([&] { return ops.Stores().ActionCount() == 1; }));
         std::ofstream(dir.path() / "tnc" / "Quorvane" / "Quorvane_Relavio.TAB") << "damaged";
       },
       "Check Machine Buffer\n", "Buffer Data: 0,64\n",
       "reading row 100 failed: GetDataEntry answered 0x80004005 (the table "},
  };
  for (const auto& [before, request, answer, logged] : cases) {
    before();
    EXPECT_EQ(Ask(request), answer) << logged;
    EXPECT_TRUE(Logged(file, logged)) << logged << "\n" << ReadText(file);
  }
  ops.ReleaseMachine();  // the run's end
  EventLog::Instance().Close();
  const std::string unfetched = "INFO  unfetched: waiting for a client as the run ended, not kept: ";
  for (const char* kept : {"Measure Data: 2,0,5,0,0,9C4,0,0,0,0,0,0,0\n", "Action Data: 0\n"})
    EXPECT_NE(ReadText(file).find(unfetched + kept), std::string::npos) << kept;
}

// Numbers travel as the bit pattern of a 32-bit integer; reals scaled by
// 10000, truncated, and the lowest integer where they do not fit.
TEST(MeasureLine, NumbersAreSentAsTheirPatternAndRealsScaled) {
  const mailbox::MeasureRecord r{1,    250,          -1,          5, 3, 1.5, -0.01, -0.00005, 0.00009, std::nan(""),
                                 1e10, -214748.3649, 214748.36475};
  EXPECT_EQ(protocol::MeasureLine(r),
            "Measure Data: 1,FA,FFFFFFFF,5,3,3A98,FFFFFF9C,0,0,80000000,80000000,80000000,7FFFFFFF\n");
  EXPECT_EQ(protocol::ScaleReal(std::numeric_limits<double>::infinity()), std::numeric_limits<std::int32_t>::min());
}

// Rows 0 to 49 hold other data (read as a ring at base 0, it would look full); the mailbox lies at 100 and is being
// polled. Refused connection data (another type, too few fields, a base row that is no number) says why in its box and
// changes nothing; valid data for another base row ends polling first, so no worker ever runs on rows the NC program
// does not own.
TEST_F(MachineRequestsTest, ConnectionDataNeverMovesTheMailboxUnderARunningWorker) {
  ASSERT_EQ(Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
  for (int row = 20; row < 50; ++row) nc.Set(row, (row % 7) * 0.25);  // rows 0 to 19 stay 0
  nc.Init(100);
  ASSERT_EQ(Ask("Check Machine Buffer\n"), "Buffer Data: 1,64\n");
  ops.Stores().SetClientAttached(true);
  ASSERT_EQ(Ask("Start Machine Polling\n"), "Polling Data: 1\n");
  const auto head = [&] {  // the table's text before row 50
    const std::string text = ReadText(dir.path() / "tnc" / "Quorvane" / "Quorvane_Relavio.TAB");
    return text.substr(0, text.find("\n50 "));
  };
  const std::string before = head();

  const std::pair<const char*, const char*> refusals[] = {{"3,localhost,0,100", strings::kUnsupportedConnectionType},
                                                          {"4,localhost,0", strings::kIncompleteConnectionData},
                                                          {"4,localhost,0,abc", strings::kInvalidBaseRow},
                                                          {"4,localhost,0,-50", strings::kInvalidBaseRow}};
  for (const auto& [data, says] : refusals) {
    prompts.messages.clear();
    EXPECT_EQ(Ask(std::string("Machine Connect: ") + data + "\n"), "Connection Data: 0\n") << data;
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, says);
  }
  EXPECT_EQ(std::pair(ops.BaseRow(), ops.Machine().PollingRunning()), std::pair(100, true));

  // A client that reconnects with the same data keeps its worker, which
  // regains the mailbox; other data (text, or base row) ends polling.
  ASSERT_EQ(Ask("Machine Disconnect\n"), "Connection Data: 0\n");
  ASSERT_TRUE(WaitUntil([&] { return Ask("Send Device\n") == "Device Data: 0,Machine Tool\n"; }));
  ASSERT_EQ(Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
  ASSERT_TRUE(WaitUntil([&] { return Ask("Send Device\n") == "Device Data: 1,Machine Tool\n"; }));
  nc.Post(0, 8, 0, 0, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return Ask("Send Measure\n").rfind("Measure Data: 0,0,8,", 0) == 0; }));
  ASSERT_EQ(Ask("Machine Connect: 4,127.0.0.1,0,100\n"), "Connection Data: 1\n");
  EXPECT_FALSE(ops.Machine().PollingRunning());
  ASSERT_EQ(Ask("Start Machine Polling\n"), "Polling Data: 1\n");

  ASSERT_EQ(Ask("Machine Connect: 4,127.0.0.1,0,0\nSend Device\n"),
            "Connection Data: 1\nDevice Data: 0,Machine Tool\n");
  EXPECT_FALSE(ops.Machine().PollingRunning());
  nc.Post(0, 7, 0, 0, 0, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // five passes, had a worker run on
  EXPECT_EQ(head(), before);
  EXPECT_EQ(Ask("Send Measure\n"), "No Measures!\n");
}
