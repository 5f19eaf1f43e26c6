// The connector against the strict stand-in of the DNC component (built from
// the published interfaces, dispatching through their type library): what a
// connect calls on the file system, that a table holding data is never
// touched, that a component whose look-up is not as published is refused
// before anything is called on it, that values of other types read as 0.0,
// and that the connector calls nothing but the members it means.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <memory>
#include <set>
#include <sstream>

#include "machine/EventStores.h"
#include "machine/OstranaConnect.h"
#include "mailbox/MailboxRows.h"
#include "ncsim/NcProgram.h"
#include "standin/InProcess.h"
#include "support/TestSupport.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

using namespace ostrana;
namespace fs = std::filesystem;

namespace {

using Calls = std::vector<std::string>;

// What the connector may call on the component, and nothing else.
const std::set<std::string> kMeant = {
    "IJHMachine.Disconnect",         "IJHMachine.GetInterface",        "IJHMachine2.GetState",
    "IJHMachine3.ConnectRequest3",   "IJHConnection2.Configure",       "IJHConnection2.propertyValue put",
    "IJHDataAccess3.GetDataEntry2",  "IJHDataEntry2.GetPropertyValue", "IJHDataEntry2.SetPropertyValue R8",
    "IJHFileSystem.ChangeDirectory", "IJHFileSystem.MakeDirectory",    "IJHFileSystem.PreviewFile",
    "IJHFileSystem.TransmitFile"};

class StrictStandIn : public ::testing::Test {
 protected:
  StrictStandIn() : control(dir.path() / "tnc"), component(control) {}
  ~StrictStandIn() override {
    connector.reset();
    for (const auto& call : standin::Calls()) EXPECT_TRUE(kMeant.count(call)) << "called: " << call;
  }

  machine::OstranaConnect& Machine(standin::Options options = {}) {
    connector.reset();
    standIn.reset();  // one registration of the class at a time
    standIn = std::make_unique<standin::InProcessComponent>(component, options);
    connector = std::make_unique<machine::OstranaConnect>(stores, *standIn, prompts, test::TemplateFile().string());
    connector->SetConnectionData("localhost", 0, 100);
    prompts.messages.clear();
    prompts.notes.clear();
    return *connector;
  }
  // The file-system calls since the `from`-th.
  Calls FileSystemCalls(std::size_t from = 0) {
    Calls calls;
    for (const auto& call : standin::Calls())
      if (call.rfind("IJHFileSystem.", 0) == 0) calls.push_back(call.substr(14));
    return Calls(calls.begin() + static_cast<long>(std::min(from, calls.size())), calls.end());
  }
  fs::path TableFile() { return dir.path() / "tnc" / "Quorvane" / mailbox::kTableFileName; }
  std::string Table() { return (std::ostringstream() << std::ifstream(TableFile(), std::ios::binary).rdbuf()).str(); }

  test::TempDir dir;
  vc::VirtualControl control;
  vc::VcComponent component;
  test::ScriptedPrompts prompts;
  machine::EventStores stores;
  std::unique_ptr<standin::InProcessComponent> standIn;
  std::unique_ptr<machine::OstranaConnect> connector;
};

// In either view of the type information a dual server may give.
TEST_F(StrictStandIn, ProvisionsAnEmptyDriveOnceAndNeverTouchesATableHoldingData) {
  standin::ClearCalls();
  for (bool interfaceView : {false, true}) {
    SCOPED_TRACE(interfaceView ? "interface view" : "dispatch view");
    fs::remove_all(TableFile().parent_path());
    auto& machine = Machine({.interfaceView = interfaceView});
    const auto before = FileSystemCalls().size();
    ASSERT_TRUE(machine.Connect()) << (prompts.notes.empty() ? "" : prompts.notes.back());
    EXPECT_EQ(FileSystemCalls(before),
              (Calls{"ChangeDirectory", "MakeDirectory", "ChangeDirectory", "PreviewFile", "TransmitFile"}));

    ASSERT_EQ(control.WriteCell(mailbox::kTablePath, 5, "PARAM", dnc::Variant::FromR8(42.5)), dnc::kOk);
    const std::string held = Table();
    const auto again = FileSystemCalls().size();
    ASSERT_TRUE(machine.Connect());
    EXPECT_EQ(FileSystemCalls(again), (Calls{"ChangeDirectory", "PreviewFile"}));
    EXPECT_EQ(Table(), held);
  }
}

TEST_F(StrictStandIn, RefusesALookUpThatIsNotAsPublishedBeforeCallingIt) {
  standin::ClearCalls();
  for (auto shape : {standin::Options::Shape::LookUpMoved, standin::Options::Shape::LookUpRenamed}) {
    auto& machine = Machine({.shape = shape});
    EXPECT_FALSE(machine.Connect());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "Could not connect. Reason: Could not QueryInterface IJHFileSystem interface\n");
    ASSERT_EQ(prompts.notes.size(), 1u);
    EXPECT_NE(prompts.notes[0].find("IJHFileSystem does not have \"look up file\" as published (PreviewFile(BSTR, "
                                    "long) -> value, DISPID 11): found "),
              std::string::npos)
        << prompts.notes[0];
    EXPECT_TRUE(FileSystemCalls().empty());
    EXPECT_FALSE(fs::exists(TableFile()));
  }
}

// Cells of other types read as 0.0; a command is written as doubles.
TEST_F(StrictStandIn, CellsOfOtherTypesReadAsZeroAndACommandIsWrittenAsDoubles) {
  standin::ClearCalls();
  for (VARTYPE type : {VT_NULL, VT_BOOL, VT_DECIMAL}) {
    SCOPED_TRACE(type);
    auto& machine = Machine({.cellType = type});
    ASSERT_TRUE(machine.Connect());
    ASSERT_EQ(control.WriteCell(mailbox::kTablePath, 5, "PARAM", dnc::Variant::FromR8(42.5)), dnc::kOk);
    double value = 9.0;
    EXPECT_TRUE(machine.Lib().ReadCell(5, value));
    EXPECT_EQ(value, 0.0);
  }
  auto& machine = Machine();
  ASSERT_TRUE(machine.Connect());
  ncsim::NcProgram nc(control);
  nc.Init(100, 4);
  ASSERT_TRUE(machine.CheckMachineBuffer());
  ASSERT_TRUE(machine.StartPolling());
  standin::ClearCalls();
  ASSERT_TRUE(machine.SetWcs({10.0, 0.0, -10.0, 0.5, -0.0001, 1.0}));
  EXPECT_EQ(standin::CallCount("IJHDataEntry2.SetPropertyValue"), 7);  // six values and the command
  EXPECT_EQ(standin::CallCount("IJHDataEntry2.SetPropertyValue R8"), 7);
}

}  // namespace
