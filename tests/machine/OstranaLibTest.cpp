// The road to a connected machine, one failure at a time, with the exact
// text the user sees; provisioning of the exchange table; cell access.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <vector>

#include "mailbox/MailboxLayout.h"
#include "common/StringTable.h"
#include "machine/EventStores.h"
#include "machine/OstranaConnect.h"
#include "support/Backends.h"
#include "support/TestSupport.h"
#include "machine/OstranaLib.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

using namespace ostrana;
namespace fs = std::filesystem;

namespace {

// Counts machine objects made, to show that a second Connect reuses one.
class CountingComponent final : public dnc::IComponent {
 public:
  explicit CountingComponent(dnc::IComponent& inner) : inner_(inner) {}
  dnc::HRESULT CreateMachine(dnc::IMachine** out) override {
    ++created;
    return inner_.CreateMachine(out);
  }
  int created = 0;

 private:
  dnc::IComponent& inner_;
};

class ConnectTest : public ::testing::TestWithParam<test::Backend> {
 protected:
  ConnectTest()
      : control(dir.path() / "tnc"),
        vcComponent(control),
        backend(GetParam(), vcComponent),
        component(backend),
        machine(stores, component, prompts, test::TemplateFile().string()) {
    machine.SetConnectionData("localhost", 0, 0);
  }

  std::string OnlyMessage() {
    EXPECT_EQ(prompts.messages.size(), 1u);
    return prompts.messages.empty() ? "" : prompts.messages.back().text;
  }
  bool CellReadable() {
    double v = 0;
    return machine.Lib().ReadCell(1, v);
  }
  fs::path TableFile() { return dir.path() / "tnc" / "Quorvane" / mailbox::kTableFileName; }

  test::TempDir dir;
  vc::VirtualControl control;
  vc::VcComponent vcComponent;
  test::BackendComponent backend;
  CountingComponent component;
  test::ScriptedPrompts prompts;
  machine::EventStores stores;
  machine::OstranaConnect machine;
};

std::string Reason(const std::string& reason) { return "Could not connect. Reason: " + reason + "\n"; }

}  // namespace

TEST_P(ConnectTest, EachFailureShowsItsOwnReasonAndLeavesNothingConnected) {
  const std::pair<vc::Op, const char*> cases[] = {
      {vc::Op::QueryConnection, "Could not QueryInterface IJHConnection2 interface"},
      {vc::Op::Configure, "Could not Configure connection"},
      {vc::Op::ConnectionRequest, "Connection request failed"},
      {vc::Op::GetState, "Could not get Machine State"},
      {vc::Op::GetDataAccessObject, "Could not create IJHDataAccess object"},
      {vc::Op::QueryDataAccess, "Could not QueryInterface IJHDataAccess interface"},
      {vc::Op::GetFileSystemObject, "Could not create IJHFileSystem object"},
      {vc::Op::QueryFileSystem, "Could not QueryInterface IJHFileSystem interface"},
      {vc::Op::TransmitFile, "Could not find/create the Freely Definable Table file"},
  };
  for (const auto& [op, reason] : cases) {
    SCOPED_TRACE(vc::OpName(op));
    prompts.messages.clear();
    control.InjectFault(op, 1);
    EXPECT_FALSE(machine.Connect());
    EXPECT_EQ(OnlyMessage(), Reason(reason));
    EXPECT_EQ(prompts.messages.back().icon, PromptIcon::None);
    EXPECT_FALSE(CellReadable());
  }
  // No component at all: the install hint, with an exclamation mark, at each connect.
  dnc::MissingComponent missing;
  machine::OstranaConnect none(stores, missing, prompts, "ostrana");
  for (int i = 0; i < 2; ++i) {
    prompts.messages.clear();
    EXPECT_FALSE(none.Connect());
    EXPECT_EQ(OnlyMessage(), strings::kComponentMissing);
    EXPECT_EQ(prompts.messages.back().icon, PromptIcon::Exclamation);
  }
  // Setting the connection properties may fail without consequence.
  prompts.messages.clear();
  control.InjectFault(vc::Op::SetProperty, 2);
  EXPECT_TRUE(machine.Connect());
  EXPECT_TRUE(prompts.messages.empty());
  // The state is asked again at each connect; 7 is "machine available".
  const std::pair<int, std::string> states[] = {{3, "DNC_STATE_WAITING_PERMISSION"}, {12, ""}, {-1, ""}, {7, ""}};
  for (const auto& [state, name] : states) {
    prompts.messages.clear();
    control.SetState(state);
    EXPECT_EQ(machine.Connect(), state == 7);
    if (state != 7) {
      EXPECT_EQ(OnlyMessage(), Reason("Machine is not available. State = " + name));
    }
  }
  EXPECT_TRUE(prompts.messages.empty());
}

// A table that cannot be used fails the connect with a word on what is wrong
// with which file; the file itself is left as it is.
TEST_P(ConnectTest, AnUnusableTableIsNamedAndLeftAsItIs) {
  const std::string begin = "BEGIN Quorvane_Relavio.TAB MM\n";
  const std::pair<std::string, std::string> cases[] = {
      {begin + "NR  PARAM\n0   0\n1   0\n", "is damaged: no [END] line"},  // truncated
      {"", "is damaged: the file is empty"},
      {begin, "is damaged: no header line"},
      {begin + "PARAM  NR\n0      1\n[END]\n", "is damaged: first column is not NR"},
      {begin + "NR  NAME\n1   x\n[END]\n", "has no column PARAM"},
      {std::string("\177ELF\2\1\1\0\0\3", 10), "is damaged: no BEGIN line"},  // binary
  };
  fs::create_directories(TableFile().parent_path());
  for (const auto& [text, why] : cases) {
    std::ofstream(TableFile(), std::ios::binary | std::ios::trunc) << text;
    prompts.messages.clear();
    EXPECT_FALSE(machine.Connect());
    EXPECT_EQ(OnlyMessage(), std::string(strings::kConnectFailurePrefix) + "The Freely Definable Table file " +
                                 mailbox::kTablePath + " cannot be used: the table " + TableFile().string() + " " +
                                 why + "\n");
    std::ifstream in(TableFile(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
  }
  control.InjectFault(vc::Op::GetValue, 1);  // a read that fails without a reason
  fs::copy_file(test::TemplateFile(), TableFile(), fs::copy_options::overwrite_existing);
  prompts.messages.clear();
  EXPECT_FALSE(machine.Connect());
  EXPECT_NE(OnlyMessage().find("cannot be used: its row 1 cannot be read"), std::string::npos);
  EXPECT_FALSE(CellReadable());
}

// A missing template or directory is reported. Only a control that said
// "not there" gets the template, and a table that exists is never replaced;
// a set property that never reached the component leaves the connection
// unconfigured.
TEST_P(ConnectTest, MissingTemplateOrDirectoryIsReportedAndNothingIsTransmittedOnDoubt) {
  test::ScriptedPrompts local;
  machine::OstranaConnect noTemplate(stores, component, local, (dir.path() / "bin" / "ostrana").string());
  EXPECT_FALSE(noTemplate.Connect());
  ASSERT_EQ(local.messages.size(), 1u);
  EXPECT_EQ(local.messages[0].text, Reason("Could not find/create the Freely Definable Table file"));
  EXPECT_TRUE(fs::is_directory(TableFile().parent_path()));  // the directory was made first
  // The box keeps its words; the operator's line says which file and why.
  EXPECT_EQ(local.notes,
            std::vector<std::string>{"the table template " + (dir.path() / "bin" / "Quorvane_Relavio.TAB").string() +
                                     " cannot be read"});

  // A directory that can be neither selected nor made.
  control.InjectFault(vc::Op::SelectDirectory, 1);
  control.InjectFault(vc::Op::MakeDirectory, 1);
  EXPECT_FALSE(machine.Connect());
  EXPECT_EQ(OnlyMessage(), Reason("Could not find/create the Freely Definable Table file"));
  fs::create_directories(TableFile().parent_path());
  std::ofstream(TableFile()) << "BEGIN Quorvane_Relavio.TAB MM\nNR  PARAM\n1   5\n[END]\n";
  double v = 0;
  ASSERT_TRUE(machine.Connect());
  ASSERT_TRUE(machine.Lib().ReadCell(1, v));
  EXPECT_EQ(v, 5.0);
  EXPECT_FALSE(machine.Lib().ReadCell(2, v));  // the template's rows did not arrive
  fs::remove(TableFile());
  for (dnc::HRESULT answer : {dnc::kFail, dnc::kAccessDenied}) {
    prompts = {};
    control.InjectFault(vc::Op::LookUpFile, 1, answer);
    EXPECT_FALSE(machine.Connect());
    EXPECT_EQ(OnlyMessage(), Reason("Could not find/create the Freely Definable Table file"));
    EXPECT_NE(prompts.notes.at(0).find("failed (0x8"), std::string::npos) << prompts.notes[0];
    EXPECT_FALSE(fs::exists(TableFile()));
  }
  control.InjectFault(vc::Op::LookUpFile, 1, dnc::kDncRemoteFileNotFound);
  EXPECT_TRUE(machine.Connect());
  EXPECT_TRUE(fs::exists(TableFile()));
  prompts.messages.clear();
  control.InjectFault(vc::Op::SetProperty, 1, dnc::kMemberNotFound);
  EXPECT_FALSE(machine.Connect());
  EXPECT_EQ(OnlyMessage(), Reason("Could not Configure connection"));
}

// The second lets go of the earlier data-access reference outside the lock
// that cell accesses take: a release that calls back, or takes long (a
// component in another process), never holds up the worker's cell access.
TEST_P(ConnectTest, SecondConnectReusesTheMachineAndAFailureEndsTheFirst) {
  ASSERT_TRUE(machine.Connect());
  bool heldUp = false;
  std::future<bool> access;  // the worker's cell access while the release runs
  control.OnDataAccessReleased([&] {
    if (access.valid()) return;  // the first release is the one looked at
    access = std::async(std::launch::async, [&] { return CellReadable(); });
    heldUp = access.wait_for(std::chrono::seconds(5)) != std::future_status::ready;
  });
  ASSERT_TRUE(machine.Connect());
  control.OnDataAccessReleased(nullptr);
  ASSERT_TRUE(access.valid());  // (its thread is waited for as it goes)
  EXPECT_EQ(std::pair(heldUp, component.created), std::pair(false, 1));
  control.InjectFault(vc::Op::ConnectionRequest, 1);
  EXPECT_FALSE(machine.Connect());
  EXPECT_FALSE(CellReadable());  // the connection that was up is gone too
  // Disconnect with nothing connected changes nothing.
  machine.Disconnect();
  EXPECT_FALSE(CellReadable());
  EXPECT_TRUE(machine.Connect());
  EXPECT_EQ(component.created, 2);
}

// --- cell access ---

TEST_P(ConnectTest, CellsThroughTheComponentAndTheirValuesAndPaths) {
  double v = 99.0;
  // Nothing connected: the call fails without reaching the component, so a
  // fault armed for its next data-entry call is still armed afterwards.
  control.InjectFault(vc::Op::GetDataEntry, 1);
  EXPECT_FALSE(machine.Lib().ReadCell(1, v));
  EXPECT_FALSE(machine.Connect());  // its test read met the fault: it was still armed
  ASSERT_TRUE(machine.Connect());

  ASSERT_EQ(control.WriteCell(mailbox::kTablePath, 7, "PARAM", dnc::Variant::FromR8(2.5)), dnc::kOk);
  EXPECT_TRUE(machine.Lib().ReadCell(7, v));
  EXPECT_EQ(v, 2.5);
  v = 99.0;
  control.InjectFault(vc::Op::GetValue, 1);
  EXPECT_FALSE(machine.Lib().ReadCell(7, v));  // a failed read leaves the value alone
  EXPECT_EQ(v, 99.0);

  // Integral codes travel as doubles (the control logs the R8 it got).
  control.EnableAccessLog(true);
  EXPECT_TRUE(machine.Lib().WriteCell(0, 2));
  EXPECT_FALSE(machine.Lib().WriteCell(-3, -1));  // passed on; the table has no row -3
  machine.Disconnect();
  EXPECT_FALSE(machine.Lib().WriteCell(1, 1));
  const auto log = control.TakeAccessLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(std::tuple(log[0].write, log[0].row, log[0].value), std::tuple(true, 0, 2.0));
  // Value types widen exactly and others read as zero.
  using dnc::Variant;
  std::vector<double> read;
  for (const Variant& value : {Variant::FromI2(-7), Variant::FromI4(7), Variant::FromR4(2.5f), Variant::FromR8(0.1),
                               Variant(), Variant::FromText("12"), Variant::FromUI4(5)})
    read.push_back(machine::VariantToDouble(value));
  EXPECT_EQ(read, (std::vector<double>{-7.0, 7.0, 2.5, 0.1, 0.0, 0.0, 0.0}));
  // Rows keep their sign in the path the component gets; the control refuses other paths.
  EXPECT_EQ(mailbox::CellPath(-3), "\\TABLE\\'TNC:\\Quorvane\\Quorvane_Relavio.TAB'\\NR\\-3\\PARAM");
  const auto path = vc::ParseDataPath(mailbox::CellPath(-3));
  ASSERT_TRUE(path);
  EXPECT_EQ(path->table + " " + std::to_string(path->row) + " " + path->column,
            "TNC:\\Quorvane\\Quorvane_Relavio.TAB -3 PARAM");
  EXPECT_EQ(vc::ParseDataPath(mailbox::CellPath(0))->row, 0);
  for (const char* refused : {"\\TABLE\\'TNC:\\x.TAB'\\NR\\\\PARAM", "\\TABLE\\'TNC:\\x.TAB\\NR\\1\\PARAM",
                              "\\TABLE\\'TNC:\\x.TAB'\\NR\\1x\\PARAM"})
    EXPECT_FALSE(vc::ParseDataPath(refused)) << refused;
}

OSTRANA_ON_EVERY_BACKEND(ConnectTest);
