#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "common/MailboxRows.h"
#include "support/TestSupport.h"
#include "vc/NcConsole.h"
#include "vc/NcProgram.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

using namespace ostrana;
using namespace ostrana::vc;
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

TEST_F(VirtualControlTest, PathsStayOnTheDrive) {
  EXPECT_EQ(control.MapPath("TNC:\\Quorvane\\x.TAB"), dir.path() / "tnc" / "Quorvane" / "x.TAB");
  EXPECT_EQ(control.MapPath("tnc:/a/./b"), dir.path() / "tnc" / "a" / "b");
  EXPECT_FALSE(control.MapPath("TNC:\\..\\etc\\passwd"));
  EXPECT_FALSE(control.MapPath("TNC:\\a\\..\\..\\x"));
  EXPECT_FALSE(control.MapPath("C:\\Windows"));
  EXPECT_FALSE(control.FileExists("TNC:\\Quorvane\\", "..\\..\\x"));
}

TEST_F(VirtualControlTest, CellsReadAsTheControlHandsThemOut) {
  dnc::Variant v;
  ASSERT_EQ(control.WriteCell(mailbox::kTablePath, 5, "PARAM", dnc::Variant::FromR8(2.5)), dnc::S_OK);
  ASSERT_EQ(control.ReadCell(mailbox::kTablePath, 5, "PARAM", &v), dnc::S_OK);
  EXPECT_EQ(v.type, dnc::Variant::Type::R8);
  EXPECT_EQ(v.r8, 2.5);
  ASSERT_EQ(control.WriteCell(mailbox::kTablePath, 5, "PARAM", dnc::Variant::FromR8(-1.0)), dnc::S_OK);
  ASSERT_EQ(control.ReadCell(mailbox::kTablePath, 5, "PARAM", &v), dnc::S_OK);
  EXPECT_EQ(v.type, dnc::Variant::Type::I4);
  EXPECT_EQ(v.i4, -1);
  // Missing rows and columns fail, as on a control.
  EXPECT_LT(control.ReadCell(mailbox::kTablePath, 1000, "PARAM", &v), 0);
  EXPECT_LT(control.ReadCell(mailbox::kTablePath, 5, "NAME", &v), 0);
  EXPECT_LT(control.ReadCell("TNC:\\Quorvane\\Other.TAB", 5, "PARAM", &v), 0);
}

TEST_F(VirtualControlTest, AHandEditedTableIsReadAgain) {
  dnc::Variant v;
  ASSERT_EQ(control.ReadCell(mailbox::kTablePath, 3, "PARAM", &v), dnc::S_OK);
  EXPECT_EQ(v.i4, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a new modification time
  const auto file = dir.path() / "tnc" / "Quorvane" / mailbox::kTableFileName;
  std::ofstream(file) << "BEGIN Quorvane_Relavio.TAB MM\nNR  PARAM\n3   42\n[END]\n";
  ASSERT_EQ(control.ReadCell(mailbox::kTablePath, 3, "PARAM", &v), dnc::S_OK);
  EXPECT_EQ(v.i4, 42);
}

// A killed process keeps every write it had acknowledged, and leaves a
// complete table behind.
TEST_F(VirtualControlTest, AcknowledgedWritesSurviveAKill) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    VirtualControl writer(dir.path() / "tnc");
    for (int i = 1;; ++i) {
      if (writer.WriteCell(mailbox::kTablePath, 10 + i % 50, "PARAM", dnc::Variant::FromR8(i)) != dnc::S_OK) ::_exit(1);
      if (::write(pipeFds[1], &i, sizeof i) != sizeof i) ::_exit(1);  // acknowledged
    }
  }
  ::close(pipeFds[1]);
  int acknowledged = 0, value = 0;
  while (acknowledged < 200 && ::read(pipeFds[0], &value, sizeof value) == sizeof value) acknowledged = value;
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  while (::read(pipeFds[0], &value, sizeof value) == sizeof value) acknowledged = value;
  ::close(pipeFds[0]);
  ASSERT_GE(acknowledged, 200);

  VirtualControl reader(dir.path() / "tnc");
  dnc::Variant v;
  ASSERT_EQ(reader.ReadCell(mailbox::kTablePath, 10 + acknowledged % 50, "PARAM", &v), dnc::S_OK);
  // The last acknowledged value is there (the next one may be too, if it was
  // written but not yet acknowledged when the kill came).
  EXPECT_GE(v.i4, acknowledged);
  ASSERT_EQ(reader.ReadCell(mailbox::kTablePath, 10 + (acknowledged - 1) % 50, "PARAM", &v), dnc::S_OK);
  EXPECT_GE(v.i4, acknowledged - 1);
}

TEST_F(VirtualControlTest, TwoThreadsWriteWithoutLosingValues) {
  auto writer = [this](int row) {
    for (int i = 1; i <= 200; ++i) ASSERT_EQ(control.WriteCell(mailbox::kTablePath, row, "PARAM", dnc::Variant::FromR8(i)), dnc::S_OK);
  };
  std::thread a(writer, 20), b(writer, 21);
  a.join();
  b.join();
  dnc::Variant v;
  control.ReadCell(mailbox::kTablePath, 20, "PARAM", &v);
  EXPECT_EQ(v.i4, 200);
  control.ReadCell(mailbox::kTablePath, 21, "PARAM", &v);
  EXPECT_EQ(v.i4, 200);
}

TEST_F(VirtualControlTest, FaultsFailTheNextCallsOfOneOperation) {
  control.InjectFault(Op::CreateMachine, 2, dnc::E_ACCESSDENIED);
  VcComponent component(control);
  dnc::IMachine* machine = nullptr;
  EXPECT_EQ(component.CreateMachine(&machine), dnc::E_ACCESSDENIED);
  EXPECT_EQ(component.CreateMachine(&machine), dnc::E_ACCESSDENIED);
  ASSERT_EQ(component.CreateMachine(&machine), dnc::S_OK);
  machine->Release();
  EXPECT_EQ(OpFromName("get-value"), Op::GetValue);
  EXPECT_FALSE(OpFromName("nonsense"));
}

// What a session handed out stops working once the session is disconnected
// or replaced: a stale reference can never reach a closed connection.
TEST_F(VirtualControlTest, ObjectsOfAClosedSessionFail) {
  VcComponent component(control);
  dnc::IMachine* raw = nullptr;
  ASSERT_EQ(component.CreateMachine(&raw), dnc::S_OK);
  auto machine = dnc::ComPtr<dnc::IMachine>::Attach(raw);
  dnc::ComPtr<dnc::IJHConnection2> connection;
  ASSERT_EQ(machine.As(dnc::InterfaceId::Connection2, &connection), dnc::S_OK);
  dnc::IUnknown* object = nullptr;
  EXPECT_LT(machine->GetInterfaceObject(9, &object), 0);  // not connected yet
  ASSERT_EQ(machine->ConnectionRequest(connection.get(), dnc::Variant::Missing(), dnc::Variant::Missing()), dnc::S_OK);
  ASSERT_EQ(machine->GetInterfaceObject(9, &object), dnc::S_OK);
  auto unknown = dnc::ComPtr<dnc::IUnknown>::Attach(object);
  dnc::ComPtr<dnc::IJHDataAccess> access;
  ASSERT_EQ(unknown.As(dnc::InterfaceId::DataAccess, &access), dnc::S_OK);
  dnc::IDataEntry* entry = nullptr;
  ASSERT_EQ(access->GetDataEntry("\\TABLE\\'TNC:\\Quorvane\\Quorvane_Relavio.TAB'\\NR\\1\\PARAM", 1, 0, &entry), dnc::S_OK);
  auto cell = dnc::ComPtr<dnc::IDataEntry>::Attach(entry);
  dnc::Variant v;
  EXPECT_EQ(cell->GetValue(0, &v), dnc::S_OK);
  // A new request replaces the session.
  ASSERT_EQ(machine->ConnectionRequest(connection.get(), dnc::Variant::Missing(), dnc::Variant::Missing()), dnc::S_OK);
  EXPECT_EQ(cell->GetValue(0, &v), dnc::E_NOTCONNECTED);
  machine->Disconnect();
  machine.Clear();  // the objects keep the session alive on their own
  EXPECT_EQ(cell->SetValue(0, dnc::Variant::FromR8(1), 0), dnc::E_NOTCONNECTED);
}

TEST(DataPath, ParsesTheCellPathAndRefusesOthers) {
  auto p = ParseDataPath("\\TABLE\\'TNC:\\Quorvane\\Quorvane_Relavio.TAB'\\NR\\-3\\PARAM");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->table, "TNC:\\Quorvane\\Quorvane_Relavio.TAB");
  EXPECT_EQ(p->row, -3);
  EXPECT_EQ(p->column, "PARAM");
  EXPECT_FALSE(ParseDataPath("\\TABLE\\'TNC:\\x.TAB'\\NR\\\\PARAM"));
  EXPECT_FALSE(ParseDataPath("\\TABLE\\'TNC:\\x.TAB\\NR\\1\\PARAM"));
  EXPECT_FALSE(ParseDataPath("\\TABLE\\'TNC:\\x.TAB'\\NR\\1x\\PARAM"));
}

TEST_F(VirtualControlTest, NcProgramKeepsTheRingAndNeverOverwritesAnUnreadSlot) {
  NcProgram nc(control);
  EXPECT_THROW(nc.Post(0, 1, 0, 0, 0, 0), NcError);  // no block yet
  nc.Init(100);
  EXPECT_EQ(nc.Get(100), 2);
  EXPECT_EQ(nc.Get(101), 4);
  EXPECT_EQ(nc.Pending(), 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(nc.Post(0, 1, 0, 0, 0, 0), (i + 1) % 5);
  EXPECT_EQ(nc.Pending(), 4);
  try {
    nc.Post(0, 1, 0, 0, 0, 0);
    FAIL() << "a full ring took a record";
  } catch (const NcError& e) {
    EXPECT_STREQ(e.what(), "full");
  }
  nc.Set(102, 2);  // the connector read two records
  EXPECT_EQ(nc.Pending(), 2);
  EXPECT_EQ(nc.Post(2.5, 12.0305, 1, 2, 3, 4), 0);
  EXPECT_EQ(nc.Get(100 + 20), 2.5);
  EXPECT_EQ(nc.Get(100 + 21), 12.0305);
}

TEST_F(VirtualControlTest, ConsoleLinesAnswerOkOrError) {
  NcProgram nc(control);
  const std::pair<const char*, const char*> exchange[] = {
      {"init 100", "ok"},
      {"post 1.25 12.0305 3 1.5 -0.01 2", "ok 1"},
      {"pending", "ok 1"},
      {"set 110 2", "ok"},
      {"set 111 3", "ok"},
      {"command", "ok 2 3 0 0 0 0 0"},
      {"ack -2", "ok"},
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
  EXPECT_EQ(control.TakeFault(Op::GetValue), dnc::E_ACCESSDENIED);
}
