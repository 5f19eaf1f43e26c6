// The road to a connected machine, one failure at a time, with the exact
// text the user sees; provisioning of the exchange table; cell access.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "common/MailboxRows.h"
#include "common/StringTable.h"
#include "mailbox/EventStores.h"
#include "mailbox/OstranaConnect.h"
#include "support/TestSupport.h"
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

class ConnectTest : public ::testing::Test {
 protected:
  ConnectTest()
      : control(dir.path() / "tnc"), vcComponent(control), component(vcComponent),
        machine(stores, component, prompts, test::TemplateFile().string()) {
    machine.connectionText = "localhost";
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
  CountingComponent component;
  test::ScriptedPrompts prompts;
  mailbox::EventStores stores;
  mailbox::OstranaConnect machine;
};

std::string Reason(const std::string& reason) { return "Could not connect. Reason: " + reason + "\n"; }

}  // namespace

TEST_F(ConnectTest, FreshDriveGetsDirectoryAndTableThenConnects) {
  ASSERT_TRUE(machine.Connect());
  EXPECT_TRUE(prompts.messages.empty());
  ASSERT_TRUE(fs::exists(TableFile()));
  EXPECT_TRUE(CellReadable());
}

TEST_F(ConnectTest, EachFailureShowsItsOwnReasonAndLeavesNothingConnected) {
  const struct {
    vc::Op op;
    const char* reason;
  } cases[] = {
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
  for (const auto& c : cases) {
    SCOPED_TRACE(vc::OpName(c.op));
    prompts.messages.clear();
    control.InjectFault(c.op, 1);
    EXPECT_FALSE(machine.Connect());
    EXPECT_EQ(OnlyMessage(), Reason(c.reason));
    EXPECT_EQ(prompts.messages.back().icon, PromptIcon::None);
    EXPECT_FALSE(CellReadable());
  }
  // Setting the connection properties may fail without consequence.
  prompts.messages.clear();
  control.InjectFault(vc::Op::SetProperty, 2);
  EXPECT_TRUE(machine.Connect());
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ConnectTest, MissingComponentShowsTheInstallHintWithExclamation) {
  dnc::MissingComponent missing;
  mailbox::OstranaConnect none(stores, missing, prompts, "ostrana");
  EXPECT_FALSE(none.Connect());
  EXPECT_FALSE(none.Connect());
  ASSERT_EQ(prompts.messages.size(), 2u);  // once per connect
  EXPECT_EQ(prompts.messages[0].text, strings::kComponentMissing);
  EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Exclamation);
}

TEST_F(ConnectTest, MachineStateNamesTheReason) {
  control.SetState(3);
  EXPECT_FALSE(machine.Connect());
  EXPECT_EQ(OnlyMessage(), Reason("Machine is not available. State = DNC_STATE_WAITING_PERMISSION"));
  for (int state : {12, -1}) {
    prompts.messages.clear();
    control.SetState(state);
    EXPECT_FALSE(machine.Connect());
    EXPECT_EQ(OnlyMessage(), Reason("Machine is not available. State = "));
  }
  // The state is asked again on the next connect.
  prompts.messages.clear();
  control.SetState(7);
  EXPECT_TRUE(machine.Connect());
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ConnectTest, SecondConnectReusesTheMachineAndAFailureEndsTheFirst) {
  ASSERT_TRUE(machine.Connect());
  ASSERT_TRUE(machine.Connect());
  EXPECT_EQ(component.created, 1);
  control.InjectFault(vc::Op::ConnectionRequest, 1);
  EXPECT_FALSE(machine.Connect());
  EXPECT_FALSE(CellReadable());  // the connection that was up is gone too
  // Disconnect with nothing connected changes nothing.
  machine.Disconnect();
  EXPECT_FALSE(CellReadable());
  EXPECT_TRUE(machine.Connect());
  EXPECT_EQ(component.created, 2);
}

TEST_F(ConnectTest, FailedTestReadShowsNothing) {
  control.InjectFault(vc::Op::GetValue, 1);
  EXPECT_FALSE(machine.Connect());
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_FALSE(CellReadable());
}

TEST_F(ConnectTest, AnExistingTableIsNeverReplaced) {
  fs::create_directories(TableFile().parent_path());
  std::ofstream(TableFile()) << "BEGIN Quorvane_Relavio.TAB MM\nNR  PARAM\n1   5\n[END]\n";
  ASSERT_TRUE(machine.Connect());
  double v = 0;
  ASSERT_TRUE(machine.Lib().ReadCell(1, v));
  EXPECT_EQ(v, 5.0);
  EXPECT_FALSE(machine.Lib().ReadCell(2, v));  // the template's rows did not arrive
}

TEST_F(ConnectTest, MissingTemplateOrDirectoryIsReported) {
  test::ScriptedPrompts local;
  mailbox::OstranaConnect noTemplate(stores, component, local, (dir.path() / "bin" / "ostrana").string());
  EXPECT_FALSE(noTemplate.Connect());
  ASSERT_EQ(local.messages.size(), 1u);
  EXPECT_EQ(local.messages[0].text, Reason("Could not find/create the Freely Definable Table file"));
  EXPECT_TRUE(fs::is_directory(TableFile().parent_path()));  // the directory was made first

  // A directory that can be neither selected nor made.
  control.InjectFault(vc::Op::SelectDirectory, 1);
  control.InjectFault(vc::Op::MakeDirectory, 1);
  EXPECT_FALSE(machine.Connect());
  EXPECT_EQ(OnlyMessage(), Reason("Could not find/create the Freely Definable Table file"));
}

TEST_F(ConnectTest, ModulePathWithoutFolderLooksInTheWorkingDirectory) {
  mailbox::OstranaConnect bare(stores, component, prompts, "ostrana");
  EXPECT_EQ(bare.Lib().TemplatePath(), "Quorvane_Relavio.TAB");
  EXPECT_EQ(machine.Lib().TemplatePath(), test::TemplateFile().string());
}

// --- cell access with the value types a control may hand out ---

namespace {

class FakeEntry final : public dnc::RefCounted<dnc::IDataEntry> {
 public:
  FakeEntry(std::map<std::string, dnc::Variant>& cells, std::string path, std::vector<dnc::Variant>& written)
      : cells_(cells), path_(std::move(path)), written_(written) {}
  dnc::HRESULT QueryInterface(dnc::InterfaceId, void**) override { return dnc::E_NOINTERFACE; }
  dnc::HRESULT GetValue(std::int32_t, dnc::Variant* out) override {
    auto it = cells_.find(path_);
    if (it == cells_.end()) return dnc::E_FAIL;
    *out = it->second;
    return dnc::S_OK;
  }
  dnc::HRESULT SetValue(std::int32_t, const dnc::Variant& v, std::int32_t) override {
    written_.push_back(v);
    return dnc::S_OK;
  }

 private:
  std::map<std::string, dnc::Variant>& cells_;
  std::string path_;
  std::vector<dnc::Variant>& written_;
};

class FakeAccess final : public dnc::RefCounted<dnc::IJHDataAccess> {
 public:
  dnc::HRESULT QueryInterface(dnc::InterfaceId iid, void** out) override {
    if (iid != dnc::InterfaceId::DataAccess) return dnc::E_NOINTERFACE;
    AddRef();
    *out = static_cast<dnc::IJHDataAccess*>(this);
    return dnc::S_OK;
  }
  dnc::HRESULT GetDataEntry(const std::string& path, std::int32_t, std::int32_t, dnc::IDataEntry** out) override {
    paths.push_back(path);
    *out = new FakeEntry(cells, path, written);
    return dnc::S_OK;
  }
  std::map<std::string, dnc::Variant> cells;
  std::vector<std::string> paths;
  std::vector<dnc::Variant> written;
};

class FakeFiles final : public dnc::RefCounted<dnc::IJHFileSystem> {
 public:
  dnc::HRESULT QueryInterface(dnc::InterfaceId iid, void** out) override {
    if (iid != dnc::InterfaceId::FileSystem) return dnc::E_NOINTERFACE;
    AddRef();
    *out = static_cast<dnc::IJHFileSystem*>(this);
    return dnc::S_OK;
  }
  dnc::HRESULT SelectDirectory(const std::string&) override { return dnc::S_OK; }
  dnc::HRESULT MakeDirectory(const std::string&) override { return dnc::S_OK; }
  dnc::HRESULT LookUpFile(const std::string&, std::int32_t, std::string*) override { return dnc::S_OK; }
  dnc::HRESULT TransmitFile(const std::string&, const std::string&) override { return dnc::E_FAIL; }
};

class FakeMachine final : public dnc::RefCounted<dnc::IMachine> {
 public:
  FakeMachine(FakeAccess* access, FakeFiles* files) : access_(access), files_(files) {}
  dnc::HRESULT QueryInterface(dnc::InterfaceId iid, void** out) override {
    if (iid != dnc::InterfaceId::Connection2) return dnc::E_NOINTERFACE;
    *out = static_cast<dnc::IJHConnection2*>(new Connection);
    return dnc::S_OK;
  }
  dnc::HRESULT Disconnect() override { return dnc::S_OK; }
  dnc::HRESULT GetInterfaceObject(std::int32_t kind, dnc::IUnknown** out) override {
    dnc::IUnknown* object = kind == 9 ? static_cast<dnc::IUnknown*>(access_) : static_cast<dnc::IUnknown*>(files_);
    object->AddRef();
    *out = object;
    return dnc::S_OK;
  }
  dnc::HRESULT GetState(std::int32_t* state) override {
    *state = 7;
    return dnc::S_OK;
  }
  dnc::HRESULT ConnectionRequest(dnc::IJHConnection2*, const dnc::Variant&, const dnc::Variant&) override {
    return dnc::S_OK;
  }

 private:
  class Connection final : public dnc::RefCounted<dnc::IJHConnection2> {
   public:
    dnc::HRESULT QueryInterface(dnc::InterfaceId, void**) override { return dnc::E_NOINTERFACE; }
    dnc::HRESULT Configure(std::int32_t, std::int32_t) override { return dnc::S_OK; }
    dnc::HRESULT SetProperty(std::int32_t, const dnc::Variant&) override { return dnc::S_OK; }
  };
  FakeAccess* access_;
  FakeFiles* files_;
};

class FakeComponent final : public dnc::IComponent {
 public:
  FakeComponent() : access(new FakeAccess), files(new FakeFiles) {}
  ~FakeComponent() override {
    access->Release();
    files->Release();
  }
  dnc::HRESULT CreateMachine(dnc::IMachine** out) override {
    *out = new FakeMachine(access, files);
    return dnc::S_OK;
  }
  FakeAccess* access;
  FakeFiles* files;
};

}  // namespace

TEST(CellAccess, ValueTypesWidenExactlyAndOthersReadAsZero) {
  FakeComponent component;
  test::ScriptedPrompts prompts;
  machine::OstranaLib lib(component, prompts, "ostrana");
  double v = 99.0;
  EXPECT_FALSE(lib.ReadCell(1, v));  // nothing connected: the component is not asked
  EXPECT_TRUE(component.access->paths.empty());
  ASSERT_EQ(lib.CreateMachine(), dnc::S_OK);
  ASSERT_TRUE(lib.OpenConnection("host", -1));
  ASSERT_TRUE(lib.OpenServices());

  auto& cells = component.access->cells;
  cells[machine::CellPath(1)] = dnc::Variant::FromI2(-7);
  cells[machine::CellPath(2)] = dnc::Variant::FromI4(7);
  cells[machine::CellPath(3)] = dnc::Variant::FromR4(2.5f);
  cells[machine::CellPath(4)] = dnc::Variant::FromR8(0.1);
  cells[machine::CellPath(5)] = dnc::Variant();
  cells[machine::CellPath(6)] = dnc::Variant::FromText("12");
  const double expected[] = {-7.0, 7.0, 2.5, 0.1, 0.0, 0.0};
  for (int row = 1; row <= 6; ++row) {
    v = 99.0;
    EXPECT_TRUE(lib.ReadCell(row, v));
    EXPECT_EQ(v, expected[row - 1]) << row;
  }
  v = 99.0;
  EXPECT_FALSE(lib.ReadCell(7, v));  // a failed read leaves the value alone
  EXPECT_EQ(v, 99.0);

  // Integral codes still travel as doubles; rows keep their sign.
  EXPECT_TRUE(lib.WriteCell(-3, -1));
  EXPECT_TRUE(lib.WriteCell(0, 2));
  ASSERT_EQ(component.access->written.size(), 2u);
  EXPECT_EQ(component.access->written[0].type, dnc::Variant::Type::R8);
  EXPECT_EQ(component.access->written[0].r8, -1.0);
  EXPECT_EQ(component.access->paths[component.access->paths.size() - 2],
            "\\TABLE\\'TNC:\\Quorvane\\Quorvane_Relavio.TAB'\\NR\\-3\\PARAM");
  EXPECT_EQ(component.access->paths.back(), "\\TABLE\\'TNC:\\Quorvane\\Quorvane_Relavio.TAB'\\NR\\0\\PARAM");

  lib.ReleaseAll();
  const auto asked = component.access->paths.size();
  EXPECT_FALSE(lib.WriteCell(1, 1));
  EXPECT_EQ(component.access->paths.size(), asked);
}
