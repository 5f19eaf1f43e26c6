// The NC console of the virtual control: its line protocol and how it
// treats its peers.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "ncsim/NcConsole.h"
#include "ncsim/NcProgram.h"
#include "net/Socket.h"
#include "support/TestSupport.h"
#include "support/VirtualDrive.h"

using namespace ostrana;
using namespace ostrana::vc;
using namespace ostrana::ncsim;

using NcConsoleTest = test::VirtualDriveTest;

TEST_F(NcConsoleTest, LinesAnswerOkOrError) {
  NcProgram nc(control);
  const std::pair<const char*, const char*> exchange[] = {
      {"context 1", "error no block (init first)"},
      {"set 120 5", "ok"},
      {"init 100", "ok"},  // (signal, command and ack: in the connector's whole exchange)
      {"get 120", "ok 0"},  // the block is cleared
      {"post 1.25 12.0305 3 1.5 -0.01 2", "ok 1"},
      {"pending", "ok 1"},
      {"set 110 -2", "ok"},
      {"get 110", "ok -2"},
      {"state 3", "ok"},
      {"fail get-value 2 0x80070005", "ok"},
      {"fail get-value 1 5", "error a failure status is negative: 5"},
      {"post 1 2", "error usage: post TYPE ID V0 V1 V2 V3"},
      {"signal x", "error not a number: x"},
      {"get 5000", "error no row 5000"},
      {"launch", "error unknown verb launch (try help)"},
      {"", "error empty request"},
  };
  for (const auto& [line, answer] : exchange) EXPECT_EQ(ExecuteNcLine(nc, control, line), answer) << line;
  EXPECT_EQ(std::pair(control.State(), control.TakeFault(Op::GetValue)), std::pair(3, dnc::kAccessDenied));
}
namespace {
// A loopback connection to the console; kNoSocket on failure.
net::Handle ConsolePeer(int port, int receiveBuffer = 0) {
  std::string why;
  const net::Handle socket = net::Connect("127.0.0.1", static_cast<std::uint16_t>(port), std::chrono::seconds(5), &why);
  if (socket != net::kNoSocket && receiveBuffer) net::SetReceiveBuffer(socket, receiveBuffer);
  return socket;
}

// Sends a line and returns what comes back up to its line feed ("" on an
// end or after 5 s of silence).
std::string AskConsole(net::Handle socket, const std::string& line) {
  const std::string request = line + "\n";
  net::Send(socket, request.data(), request.size());
  std::string answer;
  for (char ch = 0;;) {
    std::vector<net::Wait> waits{{socket, true, false}};
    if (net::Poll(waits, 5000) != 1 || net::Receive(socket, &ch, 1) != 1 || ch == '\n') break;
    answer += ch;
  }
  return answer;
}
}  // namespace

// A peer that sends without reading is dropped once its unread answers pass
// the bound; the others are served meanwhile and the console stops at once.
TEST_F(NcConsoleTest, DropsAPeerThatDoesNotReadAndStopsPromptly) {
  NcProgram nc(control);
  auto console = std::make_unique<NcConsole>(nc, control);
  const int port = console->Start(0, nullptr);
  ASSERT_GT(port, 0);
  const net::Handle silent = ConsolePeer(port, 4096);
  net::SetNonBlocking(silent);
  std::string burst;
  for (int i = 0; i < 1000; ++i) burst += "help\n";  // each answer some sixty times its request
  bool dropped = false;
  // A limit against a hang, not a time to meet: a loaded machine fills the
  // kernel's buffers slowly before the console's own backlog grows.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!dropped && std::chrono::steady_clock::now() < deadline) {
    const long n = net::Send(silent, burst.data(), burst.size());
    const bool full = n < 0 && net::Transient(net::LastError());
    if (n < 0 && !full) dropped = true;
    if (full) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(dropped);
  const net::Handle other = ConsolePeer(port, 4096);
  EXPECT_EQ(AskConsole(other, "state 7"), "ok");
  // Stop with a peer whose answers pile up unread.
  net::SetNonBlocking(other);
  for (int i = 0; i < 20; ++i) net::Send(other, burst.data(), burst.size());
  const auto stopping = std::chrono::steady_clock::now();
  console.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(1));
  for (const net::Handle socket : {silent, other}) net::Close(socket);
}

// A handful of console peers are served; the next is refused at once.
TEST_F(NcConsoleTest, PeersAreCapped) {
  NcProgram nc(control);
  NcConsole console(nc, control);
  const int port = console.Start(0, nullptr);
  std::vector<net::Handle> peers;
  for (std::size_t i = 0; i < kMaxConsoleClients; ++i) {
    peers.push_back(ConsolePeer(port));
    EXPECT_EQ(AskConsole(peers.back(), "state 7"), "ok");
  }
  const net::Handle refused = ConsolePeer(port);
  EXPECT_EQ(AskConsole(refused, "state 7"), "error too many console clients");
  net::Close(refused);
  net::Close(peers.back());
  peers.pop_back();
  EXPECT_TRUE(test::WaitUntil([&] {  // once the console has seen the close, a place is free again
    const net::Handle socket = ConsolePeer(port);
    const bool served = AskConsole(socket, "state 7") == "ok";
    net::Close(socket);
    return served;
  }));
  for (net::Handle socket : peers) net::Close(socket);
}
