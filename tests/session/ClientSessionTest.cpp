// The listener and the one client connection over real loopback TCP.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "common/StringTable.h"
#include "support/QtRunFixture.h"

using namespace ostrana;
using namespace ostrana::test;

namespace {

class RecordingView final : public session::StatusView {
 public:
  explicit RecordingView(run::ConnectorRun& c) : connector(c) {}
  void UpdateConnectionStatus(bool playSound, std::optional<bool>) override {
    statuses.push_back({connector.ClientConnected(), playSound});
  }
  void UpdatePortStatus() override {}
  void SetPortButtonEnabled(bool enabled) override { buttonEnabled = enabled; }
  void ShowPortNumber() override { shownPorts.push_back(connector.PortNumber()); }
  void ListenFailed(int port, const std::string& reason) override { failures.push_back({port, reason}); }

  struct Status {
    bool client, sound;
  };
  run::ConnectorRun& connector;
  std::vector<Status> statuses;
  bool buttonEnabled = true;
  std::vector<int> shownPorts;
  std::vector<std::pair<int, std::string>> failures;
};

class ConnectorTcpTest : public QtRunFixture {
 protected:
  ConnectorTcpTest() : view(connector) { connector.SetView(&view); }
  void Listen(int port = 0) {
    connector.SetPortNumber(port);
    connector.OpenListener();
    ASSERT_TRUE(connector.Listening());
  }
  std::unique_ptr<RawClient> Client() {
    auto c = std::make_unique<RawClient>(connector.BoundPort());
    EXPECT_TRUE(c->Connected());
    EXPECT_EQ(c->ReceiveUntil("\n"), strings::Greeting());
    return c;
  }

  RecordingView view;
};

}  // namespace

// A client that leaves, by a close or by a reset, frees the slot: the status
// shows it gone (with its sound), the port button is back, the next is
// greeted. A second client replaces the first, which leaves without a status change.
TEST_F(ConnectorTcpTest, ALeavingOrReplacedClientFreesTheSlot) {
  Listen();
  const int port = connector.BoundPort();
  for (const bool reset : {false, true}) {
    auto c = Client();
    // 300 bytes: a chunk of 255 and one of 45, each answered.
    EXPECT_EQ(c->Ask(std::string(255, 'x') + "Send Device\n" + std::string(33, 'y'), "Device Data: 0,\n"),
              "Unknown request!\nDevice Data: 0,\n");
    reset ? c->Reset() : c->Close();
    ASSERT_TRUE(Pump([&] { return !connector.ClientConnected(); }));
    EXPECT_EQ(std::tuple(view.statuses.back().client, view.statuses.back().sound, view.buttonEnabled),
              std::tuple(false, true, true));
    EXPECT_EQ(connector.BoundPort(), port);
  }
  auto first = Client(), second = Client();
  EXPECT_TRUE(first->ClosedByPeer());
  EXPECT_EQ(std::tuple(connector.ClientConnected(), view.statuses.size(), view.statuses.back().client),
            std::tuple(true, 6u, true));  // two come and go, two come: no change for the one replaced
  EXPECT_EQ(second->Ask("Send Device\n"), "Device Data: 0,\n");
  connector.CloseSockets();  // the run's end closes the client's connection too
  EXPECT_TRUE(second->ClosedByPeer());
}

TEST_F(ConnectorTcpTest, ABusyPortIsRecoveredOnTheLowestFreeDiscoverablePort) {
  QTcpServer squatter;
  ASSERT_TRUE(squatter.listen(QHostAddress::AnyIPv4, 0));
  const int expected = FreeDiscoverablePorts().at(0);
  connector.SetPortNumber(squatter.serverPort());
  connector.OpenListener();
  EXPECT_EQ(prompts.questions, std::vector<std::string>{strings::kAskScanPorts});
  EXPECT_EQ(std::tuple(connector.Listening(), connector.PortNumber(), connector.BoundPort()),
            std::tuple(true, expected, expected));
  EXPECT_EQ(view.shownPorts, std::vector<int>{expected});
  ASSERT_EQ(view.failures.size(), 1u);  // the port asked for, with the system's reason
  EXPECT_EQ(view.failures[0].first, squatter.serverPort());
  EXPECT_NE(view.failures[0].second.find("in use"), std::string::npos) << view.failures[0].second;
  EXPECT_TRUE(prompts.messages.empty());
  connector.SetPortNumber(70000);  // a stored port outside the range takes the same road
  connector.OpenListener();
  EXPECT_EQ(std::pair(prompts.questions.size(), connector.Listening()), std::pair(std::size_t{2}, true));
  // The range's ends: 0 is any free port, 65535 a port (the system may still
  // refuse it), 65536 none (a socket would take it for 0).
  for (const int port : {0, 65535, 65536}) {
    const auto failures = view.failures.size();
    connector.SetPortNumber(port);
    connector.OpenListener();
    const bool failed = view.failures.size() > failures;
    EXPECT_EQ(failed && view.failures.back().second == "no such port", port == 65536) << port;
    if (!failed) {
      EXPECT_EQ(connector.BoundPort() == port, port != 0) << port;
    }
  }
}

// Declining the scan, or no discoverable port free: the failed port is kept,
// the box says which case it was.
TEST_F(ConnectorTcpTest, ABusyPortIsKeptWhenTheScanIsDeclinedOrFindsNothing) {
  std::vector<std::unique_ptr<QTcpServer>> squatters;
  for (int p = session::kFirstDiscoverablePort; p <= session::kLastDiscoverablePort; ++p) {
    squatters.push_back(std::make_unique<QTcpServer>());
    squatters.back()->listen(QHostAddress::AnyIPv4, static_cast<quint16>(p));  // some may be taken already: fine
  }
  for (const bool scan : {false, true}) {
    prompts.answers = {scan};
    prompts.messages.clear();
    connector.SetPortNumber(session::kFirstDiscoverablePort);
    connector.OpenListener();
    EXPECT_EQ(std::pair(connector.Listening(), connector.PortNumber()),
              std::pair(false, session::kFirstDiscoverablePort));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, scan ? strings::kNoDiscoverablePort : strings::kPortNotAvailable);
    EXPECT_TRUE(scan || view.shownPorts.empty());
  }
}

// With every descriptor of the process taken, an accept fails: entry 1024 is
// shown, and once descriptors are free again the waiting client and the next
// one are both greeted (the listener did not stop for good).
TEST_F(ConnectorTcpTest, AFailedAcceptDoesNotEndAccepting) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizers' runtime needs descriptors of its own to check a call.
  GTEST_SKIP() << "runs in the builds without sanitizers";
#endif
  Listen();
  RawClient first(connector.BoundPort());  // waits in the backlog until the event loop runs
  ASSERT_TRUE(first.Connected());
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  int highest = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    highest = std::max(highest, std::stoi(entry.path().filename().string()));
  const rlimit low{static_cast<rlim_t>(highest + 8), saved.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> taken;
  for (int fd; (fd = ::dup(0)) >= 0;) taken.push_back(fd);
  EXPECT_TRUE(Pump([&] { return !prompts.messages.empty(); }));
  for (int fd : taken) ::close(fd);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(std::tuple(prompts.messages[0].text, prompts.messages[0].icon),
            std::tuple(strings::kCannotAccept, PromptIcon::Exclamation));
  EXPECT_EQ(first.ReceiveUntil("\n"), strings::Greeting());
  EXPECT_TRUE(connector.Listening());
  auto second = Client();
  EXPECT_EQ(second->Ask("Send Device\n"), "Device Data: 0,\n");
}
