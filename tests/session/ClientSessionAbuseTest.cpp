// A hostile or broken client over loopback, each case bounded: the connector
// answers what it should, stays listening, and never writes to the machine
// because of a malformed request.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/StringTable.h"
#include "ncsim/NcProgram.h"
#include "support/QtRunFixture.h"

using namespace ostrana;
using namespace ostrana::test;

namespace {

class ConnectorAbuseTest : public QtRunFixture {
 protected:
  ConnectorAbuseTest() {
    connector.SetPortNumber(0);
    connector.OpenListener();
  }
  void SetUp() override {
    // A connected machine with its mailbox: a write would be possible.
    RawClient c(connector.BoundPort());
    c.ReceiveUntil("\n");
    ASSERT_EQ(c.Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
    ncsim::NcProgram(control).Init(100);
    control.EnableAccessLog(true);
  }
  // The connector still serves a well-behaved client.
  void ExpectServing() {
    RawClient c(connector.BoundPort());
    ASSERT_TRUE(c.Connected());
    EXPECT_EQ(c.ReceiveUntil("\n"), strings::Greeting());
    EXPECT_EQ(c.Ask("Send Device\n"), "Device Data: 0,\n");
  }
};

}  // namespace

// A thousand connections come and go. Then a client that sends and never
// reads is dropped once a megabyte of its answers waits unread; the
// connector's memory stays bounded and the next client is served.
TEST_F(ConnectorAbuseTest, AThousandConnectionsComeAndGoAndAClientThatNeverReadsIsDropped) {
  for (int i = 0; i < 1000; ++i) {
    RawClient c(connector.BoundPort());
    ASSERT_TRUE(c.Connected());
    if (i % 2) c.ReceiveUntil("\n");  // half of them leave before the greeting arrives
    if (i % 3 == 0) c.Reset();
  }
  ASSERT_TRUE(Pump([&] { return !connector.ClientConnected(); }));
  EXPECT_TRUE(connector.Listening());
  ExpectServing();
  EXPECT_TRUE(prompts.messages.empty());
  RawClient c(connector.BoundPort());
  // Five keywords in every chunk: about 70 bytes of answers per 255 sent.
  std::string requests;
  while (requests.size() < 64 * 1024)
    requests += "Send Device Send Alarm Send Action Send Measure Locate Machine Buffer ";
  bool open = true;
  for (int i = 0; i < 1000 && open; ++i) open = c.Send(requests);  // up to 64 MB, never reading
  EXPECT_FALSE(open);
  ASSERT_TRUE(Pump([&] { return !connector.ClientConnected(); }));
  ExpectServing();
}

// A zero byte ends a chunk's text; a request split anywhere is two chunks.
TEST_F(ConnectorAbuseTest, ZeroBytesAndARequestSplitAtEveryPosition) {
  const std::string request = "Send Device\n";
  RawClient c(connector.BoundPort());
  c.ReceiveUntil("\n");
  EXPECT_EQ(c.Ask(std::string("\0Set WCS: 1,2,3,4,5,6\n", 22)), "Unknown request!\n");
  EXPECT_EQ(c.Ask(std::string("Send Device\0Halt Monitoring\n", 28)), "Device Data: 0,\n");
  for (std::size_t cut = 1; cut < request.size(); ++cut) {
    // Only a fragment holding the whole keyword is served.
    EXPECT_EQ(c.Ask(request.substr(0, cut)), cut >= 11 ? "Device Data: 0,\n" : "Unknown request!\n") << cut;
    EXPECT_EQ(c.Ask(request.substr(cut)), "Unknown request!\n") << cut;
  }
  // A WCS cut before its line feed is refused, never half applied.
  EXPECT_EQ(c.Ask("Set WCS: 186A0,0,FF"), "Command Data: Set WCS,0\n");
  EXPECT_EQ(c.Ask("FE7960,0,0,0\n"), "Unknown request!\n");
  EXPECT_TRUE(std::ranges::none_of(control.TakeAccessLog(), &vc::CellAccess::write));  // the machine not written
}
