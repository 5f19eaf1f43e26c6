// Requests that reach a machine, dispatched as the client sends them, against
// the virtual control with the NC program on the other side.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "protocol/Dispatcher.h"
#include "run/MachineOperations.h"
#include "common/StringTable.h"
#include "support/MachineFixture.h"

using namespace ostrana;
using namespace ostrana::test;

namespace {

class MachineRequestsTest : public ::testing::Test {
 protected:
  MachineRequestsTest()
      : control(dir.path() / "tnc"), component(control), nc(control),
        ops(component, prompts, TemplateFile().string(), MachineFixture::FastTiming(), &notifier) {}

  std::string Ask(const std::string& chunk) { return protocol::DispatchRequest(ops, chunk); }

  // The table's text up to and including row `lastRow`.
  std::string TableHead(int lastRow) {
    std::ifstream in(dir.path() / "tnc" / "Quorvane" / "Quorvane_Relavio.TAB");
    std::string line, head;
    for (int i = 0; i < lastRow + 3 && std::getline(in, line); ++i) head += line + "\n";
    return head;
  }

  TempDir dir;
  vc::VirtualControl control;
  vc::VcComponent component;
  ncsim::NcProgram nc;
  ScriptedPrompts prompts;
  RecordingNotifier notifier;
  run::MachineOperations ops;
};

}  // namespace

// Rows 0 to 49 hold other data (read as a ring at base 0, it would look full); the mailbox lies at 100 and is being polled.
// Connection data with a base row that is no number is refused and changes
// nothing; valid data for another base row ends polling first, so no worker
// ever runs on rows the NC program does not own.
TEST_F(MachineRequestsTest, ConnectionDataNeverMovesTheMailboxUnderARunningWorker) {
  ASSERT_EQ(Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
  for (int row = 20; row < 50; ++row) nc.Set(row, (row % 7) * 0.25);  // rows 0 to 19 stay 0
  nc.Init(100);
  ASSERT_EQ(Ask("Check Machine Buffer\n"), "Buffer Data: 1,64\n");
  ops.Stores().SetClientAttached(true);
  ASSERT_EQ(Ask("Start Machine Polling\n"), "Polling Data: 1\n");
  const std::string before = TableHead(49);

  for (const char* refused : {"Machine Connect: 4,localhost,0,abc\n", "Machine Connect: 4,localhost,0,-50\n"})
    EXPECT_EQ(Ask(refused), "Connection Data: 0\n") << refused;
  ASSERT_EQ(prompts.messages.size(), 2u);
  EXPECT_EQ(prompts.messages[0].text, strings::kInvalidBaseRow);
  EXPECT_EQ(ops.BaseRow(), 100);
  EXPECT_TRUE(ops.Machine().PollingRunning());

  ASSERT_EQ(Ask("Machine Connect: 4,localhost,0,0\nSend Device\n"),
            "Connection Data: 1\nDevice Data: 0,Machine Tool\n");
  EXPECT_FALSE(ops.Machine().PollingRunning());
  nc.Post(0, 7, 0, 0, 0, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // five passes, had a worker run on
  EXPECT_EQ(TableHead(49), before);
  EXPECT_EQ(Ask("Send Measure\n"), "No Measures!\n");
}
