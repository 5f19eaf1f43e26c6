// The request protocol against a recording double of the operations.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "protocol/ArgumentParsers.h"
#include "protocol/Dispatcher.h"

using namespace ostrana;
using namespace ostrana::protocol;

namespace {

class FakeOperations final : public RequestOperations {
 public:
  bool ParseConnectionData(const Argument& a) override {
    calls += "parse(" + a.text + ");";
    return parseResult;
  }
  bool ApplyWcsData(const Argument& a) override {
    calls += "wcs(" + a.text + (a.terminated ? "" : "|open") + ");";
    return wcsResult;
  }
  bool Connect() override { calls += "connect;"; return connectResult; }
  void Disconnect() override { calls += "disconnect;"; }
  bool StartPolling() override { calls += "start;"; return startResult; }
  void StopPolling() override { calls += "stop;"; }
  bool ResumeMonitoring() override { calls += "resume;"; return true; }
  bool HaltMonitoring() override { calls += "halt;"; return false; }
  bool CheckMachineBuffer() override { calls += "check;"; return true; }
  bool SetAlarm(std::int32_t code) override { calls += "alarm" + std::to_string(code) + ";"; return true; }
  void SetMachineStatus(bool online) override {
    calls += std::string("status") + (online ? "1" : "0") + ";";
    device = {online, "Machine Tool"};
  }
  std::optional<std::int32_t> PopAction() override {
    if (actions.empty() || !measures.empty()) return std::nullopt;
    const auto a = actions.front();
    actions.erase(actions.begin());
    return a;
  }
  std::optional<mailbox::MeasureRecord> PopMeasure() override {
    if (measures.empty()) return std::nullopt;
    const auto m = measures.front();
    measures.erase(measures.begin());
    return m;
  }
  std::int32_t AlarmValue() override { return alarm; }
  machine::DeviceStatus ReadDeviceStatus() override { return device; }
  std::int32_t BaseRow() override { return baseRow; }
  void SetClientAttached(bool attached) override { clientAttached = attached; }
  bool ClientAttached() const override { return clientAttached; }
  bool clientAttached = false;

  std::string calls;
  bool parseResult = true, connectResult = true, startResult = true, wcsResult = true;
  std::vector<std::int32_t> actions;
  std::vector<mailbox::MeasureRecord> measures;
  std::int32_t alarm = 0, baseRow = 100;
  machine::DeviceStatus device;
};

class DispatcherTest : public ::testing::Test {
 protected:
  std::string Ask(const std::string& chunk) { return DispatchRequest(ops, chunk); }
  FakeOperations ops;
};

}  // namespace

TEST_F(DispatcherTest, KeywordsAreServedInTableOrderOnceEach) {
  EXPECT_EQ(Ask("Send Alarm\nSend Device\nSend Device\n"), "Device Data: 0,\nAlarm Data: 0\n");
  EXPECT_EQ(Ask("Machine Disconnect\nMachine Connect: 4,h,1,2\n"),
            "Connection Data: 1\nConnection Data: 0\n");
  EXPECT_EQ(ops.calls, "parse(4,h,1,2);connect;disconnect;");
  ops.calls.clear();
  EXPECT_EQ(Ask("Send Measure\nSend Measure\n"), "No Measures!\n");
  EXPECT_EQ(Ask("Locate Machine Buffer\nCheck Machine Buffer\n"), "Buffer Data: 1,64\nBuffer Data: 0,64\n");
  EXPECT_EQ(Ask("Halt Monitoring Resume Monitoring"),
            "Command Data: Resume Monitoring,1\nCommand Data: Halt Monitoring,0\n");
}

TEST_F(DispatcherTest, UnknownRequests) {
  EXPECT_EQ(Ask(""), "Unknown request!\n");
  EXPECT_EQ(Ask("send measure\n"), "Unknown request!\n");
  EXPECT_EQ(Ask("Hello\n"), "Unknown request!\n");
  EXPECT_TRUE(ops.calls.empty());
}

TEST_F(DispatcherTest, PollingAndDeviceStatus) {
  EXPECT_EQ(Ask("Send Device\n"), "Device Data: 0,\n");
  EXPECT_EQ(Ask("Start Machine Polling\nSend Device\n"), "Polling Data: 1\nDevice Data: 1,Machine Tool\n");
  EXPECT_EQ(Ask("Stop Machine Polling\nSend Device\n"), "Polling Data: 0\nDevice Data: 0,Machine Tool\n");
  ops.startResult = false;
  ops.calls.clear();
  EXPECT_EQ(Ask("Start Machine Polling\n"), "Polling Data: 0\n");
  EXPECT_EQ(ops.calls, "start;");  // a failed start reports nothing to the device status
}

TEST_F(DispatcherTest, ConnectIsNotCalledWhenTheDataIsRefused) {
  ops.parseResult = false;
  EXPECT_EQ(Ask("Machine Connect: 3,h,1,2\n"), "Connection Data: 0\n");
  EXPECT_EQ(ops.calls, "parse(3,h,1,2);");
}

TEST_F(DispatcherTest, ArgumentsRunToTheLineFeedAndKeepCarriageReturns) {
  Ask("Machine Connect: 4,h,1,2\r\nSet WCS: 1,2,3,4,5,6\n");
  EXPECT_EQ(ops.calls, "parse(4,h,1,2\r);connect;wcs(1,2,3,4,5,6);");
  ops.calls.clear();
  Ask("Set WCS: 1,2");  // no line feed: empty and not terminated
  EXPECT_EQ(ops.calls, "wcs(|open);");
  ops.calls.clear();
  Ask("Set WCS\n");  // the bare keyword carries no argument
  EXPECT_EQ(ops.calls, "wcs(|open);");
  EXPECT_EQ(ExtractArgument("x Set Alarm: A\nSet Alarm: B\n", "Set Alarm: ").text, "A");
}

// An alarm reaches the machine only for a request that names exactly one
// alarm and ended at its line feed; anything else is refused unplaced.
TEST_F(DispatcherTest, SetAlarmOnlyForExactlyOneNameEndedByALineFeed) {
  EXPECT_EQ(Ask("Set Alarm: PartAlignmentFailed\n"), "Command Data: Set Alarm,1\n");
  EXPECT_EQ(Ask("Set Alarm: Unspecified\r\n"), "Command Data: Set Alarm,1\n");
  for (const char* refused : {"Set Alarm: Unprojected OutOfTolerance\n", "Set Alarm: outoftolerance\n",
                              "Set Alarm: OutOfTolerance", "Set Alarm:OutOfTolerance\n", "Set Alarm: X\n",
                              "Set Alarm\n", "Set Alarm:  Unprojected\n", "Set Alarm: Unprojected\r\r\n"})
    EXPECT_EQ(Ask(refused), "Command Data: Set Alarm,0\n") << refused;
  EXPECT_EQ(ops.calls, "alarm3;alarm4;");
}

TEST_F(DispatcherTest, MeasuresGoBeforeActions) {
  ops.actions = {1};
  ops.measures = {mailbox::MeasureRecord{}};
  EXPECT_EQ(Ask("Send Action\nSend Measure\n"), "No Actions!\nMeasure Data: 0,0,0,0,0,0,0,0,0,0,0,0,0\n");
  EXPECT_EQ(Ask("Send Action\n"), "Action Data: 1\n");
  EXPECT_EQ(Ask("Send Action\n"), "No Actions!\n");
}

TEST_F(DispatcherTest, MeasureLineFieldsAndScaling) {
  mailbox::MeasureRecord r;
  r.kind = 1;
  r.detail = 250;
  r.id = -1;
  r.index = 5;
  r.qualifier = 3;
  r.value1 = 1.5;
  r.value2 = -0.01;
  r.value3 = -0.00005;
  r.context = 0.00009;
  r.attached1 = std::nan("");
  r.attached2 = 1e10;
  r.attached3 = -214748.3649;
  r.value0 = 214748.36475;
  ops.measures = {r};
  EXPECT_EQ(Ask("Send Measure\n"),
            "Measure Data: 1,FA,FFFFFFFF,5,3,3A98,FFFFFF9C,0,0,80000000,80000000,80000000,7FFFFFFF\n");
}

TEST_F(DispatcherTest, AlarmValueIsWrittenAsItsPattern) {
  ops.alarm = -2;
  EXPECT_EQ(Ask("Send Alarm\n"), "Alarm Data: FFFFFFFE\n");
  ops.baseRow = -1;
  EXPECT_EQ(Ask("Locate Machine Buffer\n"), "Buffer Data: 0,FFFFFFFF\n");
}

TEST(ScaleReal, EdgeValues) {
  EXPECT_EQ(ScaleReal(1.5), 15000);
  EXPECT_EQ(ScaleReal(-0.00005), 0);
  EXPECT_EQ(ScaleReal(214748.36475), 2147483647);  // truncated, it fits
  EXPECT_EQ(ScaleReal(214748.3649), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ScaleReal(-214748.3649), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ScaleReal(std::numeric_limits<double>::infinity()), std::numeric_limits<std::int32_t>::min());
}
