// What only the Windows program does, as a process under Wine.
#include "process/ProgramRun.h"

using namespace ostrana;
using namespace ostrana::test;

// What only the Windows program has: the registry, and ostrana-client.exe.
class WindowsProgram : public HeadlessRun {};

// The window's run writes its settings to the registry when the window is
// closed (as Windows closes a program: WM_CLOSE): the place it had (stored
// beyond the right edge of the 1600-pixel screen, it opened on the screen),
// the mute, and the port (--port is for one run). The next run starts on
// the stored port.
TEST_P(WindowsProgram, KeepsItsSettingsInTheRegistry) {
  const QString key = "HKCU\\Software\\Quorvane\\Corvessa\\Ostrana";
  Wine({"reg", "delete", key, "/f"});
  for (auto [value, data] : {std::pair{"xTopLeft", "5000"}, {"yTopLeft", "90"}, {"Mute", "1"}})
    Wine({"reg", "add", key, "/v", value, "/t", "REG_DWORD", "/d", data, "/f"});
  inRegistry = true;
  Start({"--control", "none", "--port", QString::number(port = FreePort())}, /*portZero=*/false, /*headless=*/false);
  Wine({"taskkill", "/im", "ostrana.exe"});
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 0);
  const QString stored = Wine({"reg", "query", key});
  auto value = [&](const char* name) {
    const auto m = QRegularExpression(QStringLiteral("%1\\s+REG_DWORD\\s+0x([0-9a-f]+)").arg(name)).match(stored);
    return m.hasMatch() ? m.captured(1).toInt(nullptr, 16) : -1;
  };
  EXPECT_GT(value("xTopLeft"), 1000) << stored.toStdString();
  EXPECT_LT(value("xTopLeft"), 1600);
  EXPECT_EQ(std::tuple(value("yTopLeft"), value("Mute"), value("PortNumber")), std::tuple(90, 1, 50000));
  Wine({"reg", "add", key, "/v", "PortNumber", "/t", "REG_DWORD", "/d", "0", "/f"});
  // A value of another type is named with it and left as it is; a text is
  // read whole, however long; a listen address that is no text keeps the
  // port on this computer.
  const QString longText(5000, 'l');
  const struct {
    const char *name, *type;
    QString data;
    const char* said;
  } others[] = {{"xTopLeft", "REG_SZ", "7",
                 "xTopLeft is a REG_SZ, not a number (REG_DWORD): 0 is used, and the stored "
                 "value is left as it is"},
                {"yTopLeft", "REG_QWORD", "8", "yTopLeft is a REG_QWORD, not a number (REG_DWORD): 0 is used"},
                {"LogFile", "REG_SZ", longText, nullptr},
                {"ListenAddress", "REG_MULTI_SZ", "0.0.0.0",
                 "ListenAddress is a REG_MULTI_SZ, not a text (REG_SZ): "
                 "the port listens on this computer only (127.0.0.1)"}};
  for (const auto& v : others) Wine({"reg", "add", key, "/v", v.name, "/t", v.type, "/d", v.data, "/f"});
  Start({}, /*portZero=*/false);
  EXPECT_GT(port, 0);
  EXPECT_TRUE(output.contains(QString("listening on port %1 (127.0.0.1)").arg(port))) << output.toStdString();
  Stop();
  const QString said = QString::fromLocal8Bit(process.readAllStandardError()), left = Wine({"reg", "query", key});
  Wine({"reg", "delete", key, "/f"});
  EXPECT_FALSE(said.contains("LogFile")) << said.toStdString();
  for (const auto& v : others) {
    EXPECT_TRUE(!v.said || said.contains(QString("the registry value ") + v.said)) << said.toStdString();
    EXPECT_TRUE(left.contains(QRegularExpression(QString("%1\\s+%2\\s").arg(v.name, v.type)))) << left.toStdString();
  }
}

// The installer in a fresh Wine prefix: a silent install puts the programs,
// the template and the guide under Program Files with a Start-menu shortcut;
// the installed connector answers; a silent uninstall removes them.
TEST_P(WindowsProgram, InstallsRunsAndUninstalls) {
  const std::filesystem::path prefix = dir.path() / "prefix";
  const std::filesystem::path installed = prefix / "drive_c" / "Program Files" / "Ostrana Connector";
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("WINEPREFIX", QString::fromStdString(prefix.string()));
  auto wine = [&](const QStringList& args) {  // the exit status
    QProcess run;
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(OSTRANA_SOURCE_DIR "/scripts/wine-run"), args);
    return run.waitForFinished(60000) ? run.exitCode() : -1;
  };
  ASSERT_EQ(wine({"Z:" + WindowsBuild() + "/ostrana-setup-1.1.exe", "/S"}), 0);
  for (const char* file : {"ostrana.exe", "ostrana-client.exe", "Quorvane_Relavio.TAB", "guide.html", "uninstall.exe"})
    EXPECT_TRUE(std::filesystem::exists(installed / file)) << file;
  for (const char* shortcut : {"Ostrana Connector.lnk", "Ostrana Connector guide.lnk",
                               "Ostrana Connector DNC probe.lnk", "Ostrana Connector prompt.lnk"})
    EXPECT_TRUE(std::filesystem::exists(prefix / "drive_c" / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" /
                                        "Programs" / shortcut))
        << shortcut;

  process.setProcessEnvironment(env);
  process.start(QStringLiteral(OSTRANA_SOURCE_DIR "/scripts/wine-run"),
                {"C:\\Program Files\\Ostrana Connector\\ostrana.exe", "--headless", "--control", "none", "--port", "0",
                 "--settings", Native(dir.path() / "settings.ini")});
  ASSERT_TRUE(process.waitForStarted());
  port = WaitForNumber("listening on port (\\d+)");
  ASSERT_GT(port, 0) << output.toStdString();
  RawClient cam(port);
  EXPECT_EQ(cam.ReceiveUntil("\n"), strings::Greeting());
  // While it runs, a silent uninstall or install over it refuses, and nothing goes.
  EXPECT_EQ(wine({"C:\\Program Files\\Ostrana Connector\\uninstall.exe", "/S", "_?=C:\\PROGRA~1\\OSTRAN~1"}),
            5);  // in place (no blank: unquoted)
  EXPECT_EQ(wine({"Z:" + WindowsBuild() + "/ostrana-setup-1.1.exe", "/S"}), 5);
  EXPECT_TRUE(std::filesystem::exists(installed / "Quorvane_Relavio.TAB"));
  Stop();

  ASSERT_EQ(wine({"C:\\Program Files\\Ostrana Connector\\uninstall.exe", "/S"}), 0);
  // The uninstaller goes on from a copy of itself; the files go within moments.
  EXPECT_TRUE(Pump([&] { return !std::filesystem::exists(installed / "ostrana.exe"); }, 30000));
  EXPECT_TRUE(Pump([&] { return !std::filesystem::exists(installed); }, 30000));

  // The registry view the DNC component's DLL is registered in picks the
  // build (read from the installed program's PE header); an out-of-process
  // server, wherever registered, the one that matches Windows; /BITS=
  // overrides it; installing one build removes the other.
  const std::filesystem::path installed32 = prefix / "drive_c" / "Program Files (x86)" / "Ostrana Connector";
  auto machine = [](const std::filesystem::path& program) {
    QFile file(QString::fromStdString(program.string()));
    const QByteArray header = file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray(4096, 0);
    const auto pe = qFromLittleEndian<quint32>(header.constData() + 0x3C);
    return pe + 6 <= 4096u ? qFromLittleEndian<quint16>(header.constData() + pe + 4) : 0;  // 0x14C: x86, 0x8664: x64
  };
  const struct {
    int registered;    // the bitness the stand-in's DLL is registered for now; 0: its 32-bit server
    const char* bits;  // /BITS=, or nothing
    std::uint16_t expected;
  } installs[] = {
      {32, "", 0x14C}, {32, "/BITS=64", 0x8664}, {0, "", 0x8664}, {64, "", 0x8664}, {64, "/BITS=32", 0x14C}};
  for (const auto& step : installs) {
    SCOPED_TRACE(std::to_string(step.registered) + " " + step.bits);
    ASSERT_TRUE(step.registered ? Register(step.registered, true, env) && Register(96 - step.registered, false, env)
                                : Host(Hosting::Server32, env));
    QStringList args{"Z:" + WindowsBuild() + "/ostrana-setup-1.1.exe", "/S"};
    if (*step.bits) args << step.bits;
    ASSERT_EQ(wine(args), 0);
    const auto& in = step.expected == 0x14C ? installed32 : installed;
    EXPECT_EQ(machine(in / "ostrana.exe"), step.expected);
    EXPECT_EQ(machine(in / "ostrana-client.exe"), step.expected);
    EXPECT_FALSE(std::filesystem::exists((step.expected == 0x14C ? installed : installed32) / "ostrana.exe"));
  }
}

// Closing the console (close-console.exe: what Windows does then) and the
// session's end (Wine's wineboot --end-session: WM_QUERYENDSESSION and
// WM_ENDSESSION to every top-level window, then the process ended) end the
// run in order before the process is ended: the settings written, the
// answered signal's row lowered as polling stops, the log's last line written.
// (A headless run hears the session's end through the same hidden window;
// under Wine, with its own console, it was now and then ended before the
// orderly end had run, so only the window's run is tested for it.)
void HeadlessRun::EndsInOrder(bool headless, const QStringList& ending) {
  if (!OnWindows()) GTEST_SKIP();
  Start({"--nc-console", "0", "--port", QString::number(port = FreePort())}, /*portZero=*/false, headless);
  RawClient nc(WaitForNumber("nc console on port (\\d+)")), cam(port);
  EXPECT_EQ(cam.Ask("Machine Connect: 4,localhost,0,100\n", "Connection Data: 1\n"),
            strings::Greeting() + "Connection Data: 1\n");
  EXPECT_EQ(nc.Ask("init 100\n"), "ok\n");
  EXPECT_EQ(cam.Ask("Check Machine Buffer\n"), "Buffer Data: 1,64\n");
  EXPECT_EQ(cam.Ask("Start Machine Polling\n"), "Polling Data: 1\n");
  EXPECT_EQ(nc.Ask("signal 3\n"), "ok\n");
  ASSERT_TRUE(Pump([&] { return nc.Ask("get 104\n") == "ok -1\n"; }, 5000));
  Wine(ending);
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(QString::fromStdString(test::ReadText(settingsFile.toStdString()))
                .count(QRegularExpression("(?m)^(PortNumber|xTopLeft|yTopLeft|Mute)=")),
            4);
  const auto table = QString::fromStdString(test::ReadText(dir.path() / "tnc" / "Quorvane" / "Quorvane_Relavio.TAB"));
  EXPECT_EQ(QRegularExpression("\\n104 +(\\S+)").match(table).captured(1).toStdString(), "0");
  EXPECT_NE(test::ReadText(LogFile().toStdString()).find("INFO  stop: Ostrana Connector stopped"), std::string::npos);
}
TEST_P(HeadlessRun, ClosingTheConsoleEndsTheRunInOrder) { EndsInOrder(true, {Build() + "/bin/close-console.exe"}); }
TEST_P(HeadlessRun, TheSessionsEndEndsTheWindowRunInOrder) { EndsInOrder(false, {"wineboot", "--end-session"}); }

INSTANTIATE_TEST_SUITE_P(Windows, WindowsProgram, OnWindowsBuild(Program::Windows), ProgramName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WindowsProgram);
