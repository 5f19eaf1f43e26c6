// What only the Windows program does, as a process under Wine.
#include "process/ProgramRun.h"

#include "common/EventIds.h"

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

// The installer in a fresh Wine prefix: a /BITS= other than 32 or 64 is
// refused (status 6), a /D= it does not take (status 7), before anything is done; a silent install puts the
// programs, the template and the guide under Program Files with a Start-menu
// folder of shortcuts; the installed client reaches the installed connector
// (it prints only once greeted). While a program of the installation runs
// (both, then the client alone, which holds no mutex), an
// install over it, a change of build and the uninstall entry's quiet
// uninstall refuse with status 5 and nothing goes; then the quiet uninstall
// removes it all, the folders too, and says 0. Each install registers the
// event source with its own ostrana.exe as the message file; the uninstall
// removes it.
TEST_P(WindowsProgram, InstallsRunsAndUninstalls) {
  const std::filesystem::path drive = dir.path() / "prefix" / "drive_c",
                              installed = drive / "Program Files/Ostrana Connector",
                              x86 = drive / "Program Files (x86)/Ostrana Connector",
                              menu = drive / "ProgramData/Microsoft/Windows/Start Menu/Programs/Ostrana Connector";
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("WINEPREFIX", QString::fromStdString((dir.path() / "prefix").string()));
  env.insert("LC_ALL", "C.UTF-8");  // a folder's "Ü" reaches Wine as it is
  QString printed;                  // by the last program started by wine()
  auto wine = [&](const QStringList& args) {
    printed = Wine(args, env);
    return status;
  };
  // The event source's registry values, "name=data;" each, by name. (reg prints in the OEM code page: a letter
  // beyond ASCII is compared as "?".)
  const QRegularExpression beyondAscii("[^\\x{1}-\\x{7f}]");
  auto source = [&] {
    wine({"reg", "query", R"(HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Ostrana Connector)"});
    QStringList values;
    for (const auto& m : QRegularExpression(R"((?m)^\s+(\w+)\s+REG_\w+\s+(.*)$)")
                             .globalMatch(printed))
      values << m.captured(1) + "=" + m.captured(2) + ";";
    return (values.sort(), values.join("").replace(beyondAscii, "?").toStdString());
  };
  auto sourceFor = [&](const std::filesystem::path& folder) {  // the values naming the program in `folder`
    const QString in = QString::fromStdString(folder.lexically_relative(drive).string()).replace('/', '\\');
    return QString(R"(CategoryCount=0x%1;CategoryMessageFile=C:\%2\ostrana.exe;EventMessageFile=C:\%2\ostrana.exe;)"
                   "TypesSupported=0x7;")
        .arg(kCategoryCount)
        .arg(in)
        .replace(beyondAscii, "?")
        .toStdString();
  };
  const QString setup = "Z:" + WindowsBuild() + "/ostrana-setup-1.1.exe";
  for (const char* bits : {"/BITS=46", "/BITS=64x", "/BITS=-64", "/BITS="}) EXPECT_EQ(wine({setup, "/S", bits}), 6);
  for (const char* to : {"/D=relativ\\Ordner", "/D=Q:\\NoDrive\\Ostrana"}) EXPECT_EQ(wine({setup, "/S", to}), 7);
  ASSERT_EQ(wine({setup, "/S"}), 0);
  EXPECT_EQ(source(), sourceFor(installed));
  for (auto file : {"Quorvane_Relavio.TAB", "guide.html", "uninstall.exe", "Ostrana Connector.lnk",
                    "Ostrana Connector guide.lnk", "Ostrana Connector DNC probe.lnk", "Ostrana Connector prompt.lnk"})
    EXPECT_TRUE(std::filesystem::exists((QString(file).endsWith(".lnk") ? menu : installed) / file)) << file;
  // The quiet uninstall as Add/Remove Programs or a deployment tool runs it: the command line as it stands.
  wine({"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OstranaConnector"});
  const auto quiet = QProcess::splitCommand(
      QRegularExpression("Quiet\\w+\\s+REG_SZ\\s+(.*\\S)").match(printed).captured(1));

  const QString program = "C:\\Program Files\\Ostrana Connector\\ostrana";
  process.setProcessEnvironment(env);
  process.start(
      QStringLiteral(OSTRANA_SOURCE_DIR "/scripts/wine-run"),
      {program + ".exe", "--headless", "--control", "none", "--port", "0", "--log", Native(dir.path() / "run.log")});
  QProcess client;  // on the connector, waiting for requests on its input
  client.setProcessEnvironment(env);
  client.start(QStringLiteral(OSTRANA_SOURCE_DIR "/scripts/wine-run"),
               {program + "-client.exe", "--port", QString::number(WaitForNumber("listening on port (\\d+)"))});
  ASSERT_TRUE(client.waitForReadyRead(60000));  // greeted
  for (const bool connector : {true, false}) {  // both run, then the client alone, which holds no mutex
    for (const QStringList& args : {QStringList{setup, "/S"}, QStringList{setup, "/S", "/BITS=32"}, quiet})
      EXPECT_EQ(wine(args), 5) << connector << args.join(' ').toStdString();
    EXPECT_TRUE(std::filesystem::exists(installed / "Quorvane_Relavio.TAB"));
    if (connector) Stop();
  }
  client.closeWriteChannel();  // it ends with its input
  ASSERT_TRUE(client.waitForFinished(30000));
  EXPECT_EQ(ReadText(dir.path() / "run.log").find("is not registered"), std::string::npos);  // it is
  ASSERT_EQ(wine(quiet), 0);
  EXPECT_TRUE(Pump([&] { return !std::filesystem::exists(installed) && !std::filesystem::exists(menu); }, 30000));
  EXPECT_EQ(source(), "");

  // The registry view the DNC component's DLL is registered in picks the
  // build (the installed programs are those of that build); an out-of-process
  // server, wherever registered, the one that matches Windows; /BITS=
  // overrides it; /D= (with blanks, beyond ASCII) names the folder for
  // either build, and an update without it stays there; installing one build
  // removes the other, its folder too.
  // Each step: the bitness the stand-in's DLL is registered for now (0: its
  // 32-bit server), the setup's arguments (/D= unquoted, as a prompt passes
  // it), the bitness expected.
  const std::tuple<int, const char*, int> installs[] = {
      {32, "", 32},
      {0, "", 64},
      {64, "", 64},
      {64, "/BITS=32", 32},
      {32, "/BITS=64 /D=C:\\My Tools", 64},
      {32, "", 32},
      {64, "/BITS=32 /D=C:\\Programme\\Maschinen-Übertragung", 32},
      {64, "", 64}};
  std::filesystem::path before = installed;
  // A step registered as the one before follows the last install at once.
  for (int was = -1; const auto& [registered, args, built] : installs) {
    ASSERT_TRUE(was == registered ||
                (registered ? Register(registered, true, env) && Register(96 - registered, false, env)
                            : Host(Hosting::Server32, env)));
    ASSERT_EQ(wine(QStringList{setup, "/S"} + QString(args).split(' ', Qt::SkipEmptyParts)), 0) << args;
    const QString given = QString(args).section("/D=C:\\", 1).replace('\\', '/');
    const bool chosen = before != installed && before != x86;  // kept by an update
    const auto in = !given.isEmpty() ? drive / given.toStdString() : chosen ? before : built == 32 ? x86 : installed;
    const QString bin = WindowsBuild(built == 32 ? Program::Windows32 : Program::Windows) + "/bin/";
    for (const char* file : {"ostrana.exe", "ostrana-client.exe"})  // byte for byte the build's
      EXPECT_TRUE(test::ReadText(in / file) == test::ReadText((bin + file).toStdString())) << file << args;
    EXPECT_FALSE(before != in && std::filesystem::exists(before)) << before << args;
    EXPECT_EQ(source(), sourceFor(in)) << args;
    before = in, was = registered;
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

// Folders and texts in a shop's own language, each road through ostrana.exe
// of both builds: the program in a folder with "Ü" (its template transmitted
// on connect, by the virtual control and through the stand-in), settings,
// log and drive in one with "ü", a connection text with "Ü" from the client
// (in the ANSI code page) as the stand-in received it, a log's folder with
// "Ü" in a settings file saved in the ANSI code page, the local application
// data (the known folder) in a folder with "ü" or missing, and the probe's
// connection number read as the connector reads it. Every road ends in a
// working run or a message; nothing lands in a wrongly named folder.
class WindowsPaths : public HeadlessRun {};
TEST_P(WindowsPaths, FoldersAndTextsBeyondAsciiWorkOrAreRefusedWithAMessage) {
  namespace fs = std::filesystem;
  const fs::path home = dir.path() / "Jürgen", local = home / "AppData" / "Local", program = home / "Übertragung";
  fs::create_directories(program), fs::create_directories(local);
  for (const char* file : {"ostrana.exe", "Quorvane_Relavio.TAB"})
    fs::copy_file(Build().toStdString() + "/bin/" + file, program / file);
  programAt = Native(program / "ostrana.exe");
  const fs::path calls = dir.path() / "calls.txt";
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("OSTRANA_STANDIN_CALLS", Native(calls));
  env.insert("OSTRANA_STANDIN_TNC_ROOT", Native(home / "standin-tnc"));
  process.setProcessEnvironment(env);
  const QString key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  auto knownFolder = [&](const QString& folder) {
    Wine({"reg", "add", key, "/v", "Local AppData", "/t", "REG_EXPAND_SZ", "/d", folder, "/f"});
  };
  const QStringList run{"--headless", "--port", "0", "--settings", Native(home / "settings.conf")};
  std::ofstream(home / "ansi.conf") << "LogFile=" << (Native(program) + "/o.log").toLatin1().toStdString() << "\n";
  const QString ours = "%USERPROFILE%\\AppData\\Local", inHome = Native(local).replace('/', '\\'),
                missing = Native(home / "none").replace('/', '\\');
  const struct {
    QString knownFolder;
    QStringList args;
    const char* connect;  // a client's "Machine Connect" (a run), or none (the program ends by itself)
    int exit;
    QString said, called;  // in its output, in the stand-in's call log
    fs::path made;
  } roads[] = {
      {ours,
       run + QStringList{"--control", "virtual", "--tnc-root", Native(home / "tnc"), "--log", Native(home / "l.log")},
       "4,localhost,0,100", 0, "ostrana: stopped", "", home / "tnc" / "Quorvane" / "Quorvane_Relavio.TAB"},
      {ours, run + QStringList{"--control", "dnc", "--log", Native(home / "l.log")}, "4,Maschine-\xDC,0,100", 0,
       "ostrana: stopped", "propertyValue put text Maschine-Ü",
       home / "standin-tnc" / "Quorvane" / "Quorvane_Relavio.TAB"},
      {ours,  // a settings file saved in the ANSI code page
       {"--headless", "--port", "0", "--settings", Native(home / "ansi.conf"), "--control", "virtual"},
       "4,localhost,0,100",
       0,
       "ostrana: stopped",
       "",
       program / "o.log"},
      {inHome,
       {"--dnc-probe", "Maschine-Ü", "+1"},
       nullptr,
       0,
       "(connection number 1): done",
       "propertyValue put text Maschine-Ü",
       local / "Ostrana" / "dnc-probe.txt"},
      {ours, {"--dnc-probe", "x", " 1"}, nullptr, 0, "(connection number 1): done", "", {}},
      {ours, {"--dnc-probe", "x", "99999999999"}, nullptr, 0, "(connection number 2147483647): done", "", {}},
      {ours, {"--dnc-probe", "x", "abc"}, nullptr, 0, "(connection number 0): done", "", {}},
      {ours, {"--dnc-probe", "x,y", "1"}, nullptr, 2, "cannot come from a client", "", {}},
      {missing, run, nullptr, 1, "the system names no local application data folder", "", {}},
      {missing, {"--dnc-probe"}, nullptr, 2, "This report could not be kept: the system names no local", "", {}},
  };
  for (const auto& road : roads) {
    SCOPED_TRACE(road.args.join(' ').toStdString());
    knownFolder(road.knownFolder);
    fs::remove(calls);
    output.clear();
    Launch(road.args);
    if (road.connect) {
      RawClient cam(WaitForNumber("listening on port (\\d+)"));
      EXPECT_EQ(cam.Ask(std::string("Machine Connect: ") + road.connect + "\n", "Connection Data: 1\n"),
                strings::Greeting() + "Connection Data: 1\n");
      if (process.state() != QProcess::NotRunning) Stop();  // (one that has ended has no process to signal)
    }
    EXPECT_TRUE(process.state() == QProcess::NotRunning || process.waitForFinished(60000));
    output += QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), road.exit) << output.toStdString();
    EXPECT_TRUE(output.contains(road.said)) << output.toStdString();
    EXPECT_TRUE(QString::fromStdString(ReadText(calls)).contains(road.called)) << ReadText(calls);
    EXPECT_TRUE(road.made.empty() || fs::exists(road.made)) << road.made;
  }
  knownFolder(ours);
  for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().string().find("Ã"), std::string::npos) << entry.path();
}
INSTANTIATE_TEST_SUITE_P(Windows, WindowsPaths, OnWindowsBuild(Program::Windows), ProgramName);
INSTANTIATE_TEST_SUITE_P(Windows32, WindowsPaths, OnWindowsBuild(Program::Windows32), ProgramName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WindowsPaths);

INSTANTIATE_TEST_SUITE_P(Windows, WindowsProgram, OnWindowsBuild(Program::Windows), ProgramName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WindowsProgram);
