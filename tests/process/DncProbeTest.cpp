// The DNC probe of the Windows program, as a process under Wine.
#include "process/ProgramRun.h"

using namespace ostrana;
using namespace ostrana::test;

// ostrana.exe --dnc-probe against the stand-in: what a field engineer sees first.
class DncProbe : public HeadlessRun {};

// Exit 0 only when every member was checked: without the table there is no
// data entry to check; with it, everything, in-process and out of process; a
// look-up under another DISPID is named and fails, and nothing is called on
// that file system.
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
        "set property 1 (connection number 4294967295): done", "-bit, threading model Both.",
        "machine state 7: DNC_STATE_MACHINE_IS_AVAILABLE", "Every member the connector calls is there as published."})
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
  // Served out of process by a server of the other bitness, registered for
  // its own programs only: every member checked in the server's pointer
  // width; how it is hosted is named.
  const int server = Is32(GetParam()) ? 64 : 32;
  ASSERT_TRUE(Host(server == 32 ? Hosting::Server32 : Hosting::Server64));
  const int served = Probe({"TNC640", "1"});
  ASSERT_TRUE(Host(Hosting::Both));
  EXPECT_EQ(served, 0) << probed.toStdString();
  EXPECT_TRUE(probed.contains(QString("creates it as an out-of-process server, a %1-bit program").arg(server)))
      << probed.toStdString();
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
  ASSERT_TRUE(Host(Hosting::Both));
  EXPECT_EQ(code, 1);
  for (const char* seen : {"0x80040154 (REGDB_E_CLASSNOTREG: the DNC component is not installed)",
                           "install the control maker's DNC component", "then run this probe again"})
    EXPECT_TRUE(probed.contains(seen)) << seen << "\n" << probed.toStdString();
  EXPECT_TRUE(probed.contains("This program: " + QString(Is32(GetParam()) ? "32" : "64") + "-bit."));
}

// The component's DLL registered for 32-bit programs only (the unit tests
// hold the reverse): the 64-bit probe and connect say which program to
// install, and the 32-bit build connects.
TEST_P(DncProbe, TheOtherBitnessIsNamedWhereOnlyItIsRegistered) {
  if (Is32(GetParam()) || WindowsBuild(Program::Windows32).isEmpty()) GTEST_SKIP();  // one run covers both builds
  Register(64, false);
  const QString hint(
      "the DNC component is installed for 32-bit programs only; run ostrana-setup-1.1.exe again (or with /BITS=32) "
      "to install the 32-bit Ostrana Connector");
  EXPECT_EQ(Probe(), 1);
  EXPECT_TRUE(probed.contains("ostrana: " + hint)) << probed.toStdString();
  EXPECT_TRUE(probed.contains("for 32-bit programs: registered") &&
              probed.contains("for 64-bit programs: not registered"))
      << probed.toStdString();
  EXPECT_EQ(Probe({"TNC640", "1"}, {}, Program::Windows32), 4) << probed.toStdString();  // created and connected
  Start({"--control", "dnc"});  // the 64-bit program's connect, headless: the box's words and the hint as lines
  RawClient cam(port);
  ASSERT_EQ(cam.ReceiveUntil("\n"), strings::Greeting());
  EXPECT_EQ(cam.Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 0\n");
  Stop();
  Register(64, true);
  const QString said = QString::fromLocal8Bit(process.readAllStandardError());
  EXPECT_TRUE(said.contains("ostrana: Cannot find the Heidenhain DCOM component.")) << said.toStdString();
  EXPECT_TRUE(said.contains("ostrana: " + hint)) << said.toStdString();
  EXPECT_TRUE(said.contains("WARN  machine: " + hint)) << said.toStdString();  // said at start too
}

INSTANTIATE_TEST_SUITE_P(Windows, DncProbe, OnWindowsBuild(Program::WindowsDnc), ProgramName);
INSTANTIATE_TEST_SUITE_P(Windows32, DncProbe, OnWindowsBuild(Program::Windows32Dnc), ProgramName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DncProbe);
