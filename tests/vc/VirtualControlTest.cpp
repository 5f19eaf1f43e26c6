#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <memory>
#include <vector>

#include <filesystem>
#include <fstream>
#include <thread>

#include "mailbox/MailboxRows.h"
#include "support/TestSupport.h"
#include "ncsim/NcConsole.h"
#include "ncsim/NcProgram.h"
#include "net/Socket.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

using namespace ostrana;
using namespace ostrana::vc;
using namespace ostrana::ncsim;
namespace fs = std::filesystem;

namespace {

class VirtualControlTest : public ::testing::Test {
 protected:
  VirtualControlTest() : control(dir.path() / "tnc") {
    fs::create_directories(dir.path() / "tnc" / "Quorvane");
    fs::copy_file(test::TemplateFile(), dir.path() / "tnc" / "Quorvane" / mailbox::kTableFileName);
  }
  test::TempDir dir;
  VirtualControl control;
};

}  // namespace


TEST_F(VirtualControlTest, ConsoleLinesAnswerOkOrError) {
  NcProgram nc(control);
  const std::pair<const char*, const char*> exchange[] = {
      {"init 100", "ok"},  // (signal, command and ack: in the connector's whole exchange)
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
  EXPECT_EQ(control.State(), 3);
  EXPECT_EQ(control.TakeFault(Op::GetValue), dnc::kAccessDenied);
}

// Column widths come from the header: a value that does not fit is refused
// and the table keeps its size, however long the value.
TEST_F(VirtualControlTest, AValueWiderThanItsColumnIsRefusedAndTheTableKeepsItsShape) {
  const auto file = dir.path() / "tnc" / "Quorvane" / mailbox::kTableFileName;
  ASSERT_EQ(control.WriteCell(mailbox::kTablePath, 5, "PARAM", dnc::Variant::FromR8(-2.5)), dnc::kOk);
  const auto size = fs::file_size(file);
  EXPECT_LT(control.WriteCell(mailbox::kTablePath, 900, "PARAM", dnc::Variant::FromText(std::string(100000, '9'))), 0);
  ASSERT_EQ(control.WriteCell(mailbox::kTablePath, 6, "PARAM", dnc::Variant::FromR8(-2.2250738585072014e-308)), dnc::kOk);
  EXPECT_EQ(fs::file_size(file), size);
  dnc::Variant v;
  ASSERT_EQ(control.ReadCell(mailbox::kTablePath, 900, "PARAM", &v), dnc::kOk);
  EXPECT_EQ(v.i4, 0);
}

// What a killed run left is cleaned, and nothing of the user's; no path, and
// no link, leads off the drive.
TEST_F(VirtualControlTest, TheDriveIsCleanedAndClosedWhenItOpens) {
  EXPECT_EQ(control.MapPath("TNC:\\Quorvane\\x.TAB"), dir.path() / "tnc" / "Quorvane" / "x.TAB");
  EXPECT_EQ(control.MapPath("tnc:/a/./b"), dir.path() / "tnc" / "a" / "b");
  for (const char* outside : {"TNC:\\..\\etc\\passwd", "TNC:\\a\\..\\..\\x", "C:\\Windows", "XNC:\\Quorvane"})
    EXPECT_FALSE(control.MapPath(outside)) << outside;
  EXPECT_FALSE(control.FileExists("TNC:\\Quorvane\\", "../Quorvane/Quorvane_Relavio.TAB"));  // a name, not a path
  const auto folder = dir.path() / "tnc" / "Quorvane";
  const auto stale = folder / ".Quorvane_Relavio.TAB.ostrana-0123456789abcdef.tmp";  // a killed run's
  std::ofstream(stale) << "half a table";
  fs::create_directories(dir.path() / "tnc" / "NC_PROG");
  for (const auto& mine : {folder / "Quorvane_Relavio.TAB.tmp2147483647", dir.path() / "tnc" / "NC_PROG" / "part.tmp99999",
                           folder / "notes.tmp", folder / ".x.ostrana-0123456789abcdeg.tmp"})
    std::ofstream(mine) << "a file of the user's";
  fs::create_directories(dir.path() / "elsewhere");
  std::error_code linkError;  // Windows makes links only with a privilege
  fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "tnc" / "Linked", linkError);
  VirtualControl reopened(dir.path() / "tnc");
  EXPECT_EQ(reopened.RemoveStaleTemporaries(), std::vector<fs::path>{stale});
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.path() / "tnc"), {}), linkError ? 7 : 8);  // the user's four, the table, two folders, the link
#ifndef _WIN32
  // A link planted where a table's temporary file once was leads the write nowhere.
  fs::create_symlink(dir.path() / "elsewhere" / "victim",
                     folder / ("Quorvane_Relavio.TAB.tmp" + std::to_string(::getpid())));
  ASSERT_EQ(reopened.WriteCell(mailbox::kTablePath, 5, "PARAM", dnc::Variant::FromR8(1.5)), dnc::kOk);
  EXPECT_FALSE(fs::exists(dir.path() / "elsewhere" / "victim"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / mailbox::kTableFileName)));
#endif
  if (!linkError) {
    EXPECT_FALSE(reopened.MapPath("TNC:\\Linked\\Quorvane_Relavio.TAB"));
    EXPECT_LT(reopened.MakeDirectory("TNC:\\Linked\\sub"), 0);
    EXPECT_FALSE(fs::exists(dir.path() / "elsewhere" / "sub"));
  }
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
TEST_F(VirtualControlTest, ConsoleDropsAPeerThatDoesNotReadAndStopsPromptly) {
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
  net::Close(silent);
  net::Close(other);
}

// A handful of console peers are served; the next is refused at once.
TEST_F(VirtualControlTest, ConsolePeersAreCapped) {
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
