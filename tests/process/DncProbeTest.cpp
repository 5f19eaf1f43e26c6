// The DNC probe of the Windows program, as a process under Wine.
#include "process/ProgramRun.h"

using namespace ostrana;
using namespace ostrana::test;

// ostrana.exe --dnc-probe against the stand-in: what a field engineer sees first.
class DncProbe : public HeadlessRun {};

// Exit 0 only when every member was checked: without the table there is no
// data entry to check; with it, everything; a look-up under another DISPID
// is named and fails, and nothing is called on that file system.
TEST_P(DncProbe, ChecksEveryMemberAndSaysWhatItCouldNotCheck) {
  EXPECT_EQ(Probe({"TNC640", "1"}), 4) << probed.toStdString();
  EXPECT_TRUE(probed.contains("Could not check the data entry (is the table on the control?)."))
      << probed.toStdString();
  std::filesystem::create_directories(dir.path() / "tnc" / "Quorvane");
  std::filesystem::copy_file(TemplateFile(), dir.path() / "tnc" / "Quorvane" / "Quorvane_Relavio.TAB");
  EXPECT_EQ(Probe({"TNC640", "-1"}), 0) << probed.toStdString();
  for (const char* seen :
       {"IJHMachine3 {5748A4D4-59A9-4D6D-80E2-EE2286170E11}", "type information: dispatch view",
        "slot 8: DeleteFile(BSTR), DISPID 8",
        "ok       \"look up file\": published PreviewFile(BSTR, long) -> value, DISPID 11",
        "set property 1 (connection number 4294967295): done", "machine state 7: DNC_STATE_MACHINE_IS_AVAILABLE",
        "Every member the connector calls is there as published."})
    EXPECT_TRUE(probed.contains(seen)) << seen << "\n" << probed.toStdString();
  // The report kept to be mailed, with what made it.
  const auto kept = QRegularExpression("also in C:\\\\(.*), to be sent").match(probed);
  ASSERT_TRUE(kept.hasMatch()) << probed.toStdString();
  const QString file = qEnvironmentVariable("WINEPREFIX") + "/drive_c/" + kept.captured(1).replace('\\', '/');
  EXPECT_TRUE(ReadText(file.toStdString())
                  .starts_with(QString("Ostrana Connector Version 1.1, %1-bit: DNC probe of ")
                                   .arg(Is32(GetParam()) ? 32 : 64)
                                   .toStdString()))
      << file.toStdString();
  EXPECT_EQ(Probe({"TNC640", "1"}, "lookup-moved"), 3);
  for (const char* seen :
       {"MISMATCH \"look up file\": published PreviewFile(BSTR, long) -> value, DISPID 11: found "
        "GetFileSystemAttributes() -> value, DISPID 11; PreviewFile is PreviewFile(BSTR, long) -> value, "
        "DISPID 3",
        "A name or shape does not match what the DNC component publishes: IJHFileSystem"})
    EXPECT_TRUE(probed.contains(seen)) << seen << "\n" << probed.toStdString();
}

TEST_P(DncProbe, AMissingComponentIsSaidWithItsCode) {
  Register(32, false);
  Register(64, false);
  const int code = Probe();
  Register(32, true);
  Register(64, true);
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(probed.contains("0x80040154 (REGDB_E_CLASSNOTREG: the DNC component is not installed)"))
      << probed.toStdString();
  EXPECT_TRUE(probed.contains("This program: " + QString(Is32(GetParam()) ? "32" : "64") + "-bit."));
}

// The component registered for one bitness only: the other build's probe
// and connect say which program to install, and the same build connects.
TEST_P(DncProbe, TheOtherBitnessIsNamedWhereOnlyItIsRegistered) {
  if (Is32(GetParam()) || WindowsBuild(Program::Windows32).isEmpty()) GTEST_SKIP();  // one run covers both builds
  for (int only : {32, 64}) {
    SCOPED_TRACE(only);
    const Program mine = only == 32 ? Program::Windows32 : Program::Windows;
    const Program other = only == 32 ? Program::Windows : Program::Windows32;
    Register(96 - only, false);
    const QString hint = QString(
                             "the DNC component is installed for %1-bit programs only; run ostrana-setup-1.1.exe "
                             "again (or with /BITS=%1) to install the %1-bit Ostrana Connector")
                             .arg(only);
    EXPECT_EQ(Probe({}, {}, other), 1);
    EXPECT_TRUE(probed.contains("ostrana: " + hint)) << probed.toStdString();
    EXPECT_TRUE(probed.contains(QString("for %1-bit programs: registered").arg(only))) << probed.toStdString();
    EXPECT_TRUE(probed.contains(QString("for %1-bit programs: not registered").arg(96 - only))) << probed.toStdString();
    EXPECT_EQ(Probe({"TNC640", "1"}, {}, mine), 4) << probed.toStdString();  // created and connected
    if (only == 32) {  // the 64-bit program's connect, headless: the box's words and the hint as lines
      Start({"--control", "dnc"});
      RawClient cam(port);
      ASSERT_EQ(cam.ReceiveUntil("\n"), strings::Greeting());
      EXPECT_EQ(cam.Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 0\n");
      Stop();
      const QString said = QString::fromLocal8Bit(process.readAllStandardError());
      EXPECT_TRUE(said.contains("ostrana: Cannot find the Heidenhain DCOM component.")) << said.toStdString();
      EXPECT_TRUE(said.contains("ostrana: " + hint)) << said.toStdString();
      EXPECT_TRUE(said.contains("WARN  machine: " + hint)) << said.toStdString();  // said at start too
    }
    Register(96 - only, true);
  }
}

INSTANTIATE_TEST_SUITE_P(Windows, DncProbe, OnWindowsBuild(Program::WindowsDnc), ProgramName);
INSTANTIATE_TEST_SUITE_P(Windows32, DncProbe, OnWindowsBuild(Program::Windows32Dnc), ProgramName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DncProbe);
