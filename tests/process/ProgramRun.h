// The connector as a process, for the tests of whole programs: a client on
// one side, the NC console of the virtual control on the other, the way the
// peers of a real run see it. Each test runs the Linux program and, when
// OSTRANA_WINDOWS_BUILD names the Windows build, the same test runs
// ostrana.exe under Wine from here.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QFile>
#include <QTcpSocket>
#include <QTcpServer>
#include <QtEndian>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "common/StringTable.h"
#include "platform/FileSettingsStore.h"
#include "support/QtRunFixture.h"
#include "support/TestSupport.h"

namespace ostrana::test {

// The Linux program; ostrana.exe (64-bit, and 32-bit) on the virtual control;
// ostrana.exe on the DNC component's stand-in, reached late-bound
// (dnc-standin.dll of the same bitness, registered by scripts/windows).
enum class Program { Linux, Windows, WindowsDnc, Windows32, Windows32Dnc };

inline bool Is32(Program program) { return program == Program::Windows32 || program == Program::Windows32Dnc; }
inline QString WindowsBuild(Program program = Program::Windows) {
  return qEnvironmentVariable(Is32(program) ? "OSTRANA_WINDOWS32_BUILD" : "OSTRANA_WINDOWS_BUILD");
}
// A suite's Windows instance: only when its build is named (scripts/windows names both).
inline auto OnWindowsBuild(Program program) {
  return ::testing::ValuesIn(WindowsBuild(program).isEmpty() ? std::vector<Program>{} : std::vector<Program>{program});
}
inline std::string ProgramName(const ::testing::TestParamInfo<Program>& info) {
  return info.param == Program::Linux ? "Program" : Is32(info.param) ? "Bits32" : "Bits64";
}

class HeadlessRun : public ::testing::TestWithParam<Program> {
 protected:
  bool OnWindows() const { return GetParam() != Program::Linux; }
  bool ThroughDnc() const { return GetParam() == Program::WindowsDnc || GetParam() == Program::Windows32Dnc; }
  QString Build() const { return WindowsBuild(GetParam()); }
  // Registers (or unregisters) the stand-in of one bitness in the Wine prefix of `env`.
  bool Register(int bits, bool registered, QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) {
    QStringList args{bits == 32 ? "C:\\windows\\syswow64\\regsvr32.exe" : "regsvr32", "/s"};
    if (!registered) args << "/u";
    Wine(args << "Z:" + WindowsBuild(bits == 32 ? Program::Windows32 : Program::Windows) + "/bin/dnc-standin.dll", env);
    return status == 0;
  }
  // How the stand-in is hosted: the DLL of each bitness, in-process (its
  // threading model Both or Apartment), or the server program of one
  // bitness, out of process, registered in its own view only.
  enum class Hosting { Both, Apartment, Server32, Server64 };
  bool Host(Hosting hosting, QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) {
    env.insert("OSTRANA_STANDIN_THREADING", hosting == Hosting::Apartment ? "Apartment" : "Both");
    if (hosting == Hosting::Both || hosting == Hosting::Apartment)
      return Register(32, true, env) && Register(64, true, env);
    // Activation in a Wine prefix that has just started waits for its RPC service.
    EXPECT_TRUE(Pump([&] { return Wine({"sc", "query", "RpcSs"}, env).contains("RUNNING") && status == 0; }, 60000));
    const QString server = WindowsBuild(hosting == Hosting::Server32 ? Program::Windows32 : Program::Windows);
    Wine({server + "/bin/dnc-standin-server.exe", "/RegServer"}, env);
    return status == 0;
  }
  // Runs the probe of this build (with `args`, on the stand-in `variant`)
  // and returns its exit code; `probed` has what it printed.
  int Probe(const QStringList& args = {}, const QString& variant = {}, Program program = Program::Linux) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("OSTRANA_STANDIN_TNC_ROOT", Native(dir.path() / "tnc"));
    env.insert("OSTRANA_STANDIN_VARIANT", variant);
    const QString build = WindowsBuild(program == Program::Linux ? GetParam() : program);
    probed = Wine(QStringList{build + "/bin/ostrana.exe", "--dnc-probe"} + args, env);
    return status;
  }
  QString probed;
  // Runs with the NC console of the machine and returns its port: the
  // virtual control's (--nc-console), or the stand-in's, which it opens
  // when the connector first creates the component.
  int StartWithConsole(bool portZero) {
    if (!ThroughDnc()) {
      Start({"--nc-console", "0"}, portZero);
      return WaitForNumber("nc console on port (\\d+)");
    }
    const int consolePort = FreePort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("OSTRANA_STANDIN_TNC_ROOT", Native(dir.path() / "tnc"));
    env.insert("OSTRANA_STANDIN_NC_CONSOLE", QString::number(consolePort));
    process.setProcessEnvironment(env);
    Start({"--control", "dnc"}, portZero);
    return consolePort;
  }
  // A port nobody listens on now (given back at once).
  static int FreePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
  }
  void WholeExchange();
  // Windows: the run polling, ended by `ending` (a program under Wine); what it must leave.
  void EndsInOrder(bool headless, const QStringList& ending);
  // A path of this machine as the program sees it (Wine shows / as Z:).
  QString Native(const std::filesystem::path& path) const {
    return (OnWindows() ? QStringLiteral("Z:") : QString()) + QString::fromStdString(path.string());
  }
  void Launch(QStringList args) {
    if (OnWindows()) {
      args.prepend(programAt.isEmpty() ? Build() + "/bin/ostrana.exe" : programAt);
      process.start(QStringLiteral(OSTRANA_SOURCE_DIR "/scripts/wine-run"), args);
    } else {  // under the command OSTRANA_UNDER names, when set (CI's memory checker)
      QStringList command = qEnvironmentVariable("OSTRANA_UNDER").split(' ', Qt::SkipEmptyParts)
                            << OSTRANA_BINARY << args;
      process.start(command.takeFirst(), command);
    }
  }
  void Start(QStringList extra = {}, bool portZero = true, bool headless = true) {
    QStringList args;
    if (!extra.contains("--log")) args << "--log" << Native(LogFile().toStdString());
    if (!inRegistry) args << "--settings" << Native(settingsFile.toStdString());
    if (!extra.contains("--tnc-root")) args << "--tnc-root" << Native(dir.path() / "tnc");
    if (OnWindows() && !extra.contains("--control")) args += QStringList{"--control", "virtual"};
    if (headless) args << "--headless";
    if (portZero) args += QStringList{"--port", "0"};
    args += extra;
    Launch(args);
    ASSERT_TRUE(process.waitForStarted());
    if (OnWindows() && !headless) {  // the window says nothing of its port (given): it greets once listening
      ASSERT_TRUE(Pump([&] { return RawClient(port).ReceiveUntil("\n", 500) == strings::Greeting(); }, 60000));
      return;
    }
    port = WaitForNumber("listening on port (\\d+)");
    ASSERT_GT(port, 0) << output.toStdString() << QString::fromLocal8Bit(process.readAllStandardError()).toStdString();
  }
  // The settings as the run left them in its file.
  platform::Settings Stored() const { return platform::FileSettingsStore(settingsFile.toStdString()).Load(); }
  QString LogFile() const { return QString::fromStdString((dir.path() / "log" / "ostrana.log").string()); }
  int WaitForNumber(const QString& pattern) {
    const QRegularExpression re(pattern);
    int found = 0;
    Pump(
        [&] {
          output += QString::fromLocal8Bit(process.readAllStandardOutput());
          const auto m = re.match(output);
          if (m.hasMatch()) found = m.captured(1).toInt();
          return found > 0;
        },
        OnWindows() ? 60000 : 20000);  // a Wine program's start can take long on a loaded machine
    return found;
  }
  void Stop() {
    // Wine hands SIGINT to the program as Ctrl-C; SIGTERM would end it at once.
    ::kill(static_cast<pid_t>(process.processId()), OnWindows() ? SIGINT : SIGTERM);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(std::pair(process.exitStatus(), process.exitCode()), std::pair(QProcess::NormalExit, 0));
    output += QString::fromLocal8Bit(process.readAllStandardOutput());
    EXPECT_TRUE(output.contains("ostrana: stopped"));
  }
  ~HeadlessRun() override {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished();
    }
  }

  // Runs ostrana-client (the Windows one under Wine) and returns what it
  // said, serving this thread's events meanwhile (a server of the test's
  // answers it); `meanwhile` sees it run with its output so far. Its stdin
  // is a pipe carrying `input`, then closed.
  struct Said {
    int code;
    QString out, err;
  };
  Said Client(QStringList args, const std::function<void(QProcess&, const QString&)>& meanwhile = {},
              const QByteArray& input = {}) {
    QProcess client;
    if (OnWindows()) args.prepend(Build() + "/bin/ostrana-client.exe");
    client.start(OnWindows() ? QStringLiteral(OSTRANA_SOURCE_DIR "/scripts/wine-run") : QStringLiteral(OSTRANA_CLIENT),
                 args);
    client.write(input), client.closeWriteChannel();
    QString out;
    EXPECT_TRUE(Pump(
        [&] {
          out += QString::fromLocal8Bit(client.readAllStandardOutput());
          if (meanwhile) meanwhile(client, out);
          return client.state() == QProcess::NotRunning;
        },
        30000));
    out += QString::fromLocal8Bit(client.readAllStandardOutput());
    return {client.exitCode(), out.remove('\r'), QString::fromLocal8Bit(client.readAllStandardError()).remove('\r')};
  }
  QString programAt;  // Windows: another ostrana.exe than the build's (a copy elsewhere)
  // Runs the Windows program with its settings in the registry of the build's Wine prefix.
  bool inRegistry = false;
  // Runs a Windows program under Wine, in the build's prefix or the one
  // `env` names, and returns what it printed; `status` is its exit status
  // (-1: it did not end).
  QString Wine(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess wine;
    wine.setProcessEnvironment(env);
    wine.start(QStringLiteral(OSTRANA_SOURCE_DIR "/scripts/wine-run"), args);
    status = wine.waitForFinished(60000) ? wine.exitCode() : -1;
    return QString::fromLocal8Bit(wine.readAllStandardOutput()).remove('\r');
  }
  int status = 0;
  TempDir dir;
  QProcess process;
  QString output, settingsFile = QString::fromStdString((dir.path() / "settings.conf").string());
  int port = 0;
};

}  // namespace ostrana::test
