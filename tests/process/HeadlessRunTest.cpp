// The connector as a process on the virtual control and through the DNC
// component's stand-in: the whole exchange, the places it keeps, the
// client tool.
#include "process/ProgramRun.h"
#include "support/JournalReceiver.h"

#include <QTimer>
#include <algorithm>
#include <iterator>
#include <optional>
#include <set>
#include <utility>

using namespace ostrana;
using namespace ostrana::test;

void HeadlessRun::WholeExchange() {
  const int stored = FreePort();  // the port an earlier run kept
  std::ofstream(settingsFile.toStdString()) << "PortNumber=" << stored << "\n";
  const int consolePort = StartWithConsole(/*portZero=*/false);
  EXPECT_EQ(port, stored);
  EXPECT_TRUE(output.contains(ThroughDnc() ? "the DNC component" : "virtual control")) << output.toStdString();
  ASSERT_GT(consolePort, 0);

  RawClient cam(port);
  ASSERT_EQ(cam.ReceiveUntil("\n"), strings::Greeting());

  // The first connect makes the directory and transmits the template.
  EXPECT_EQ(cam.Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
  RawClient nc(consolePort);
  ASSERT_TRUE(std::filesystem::exists(dir.path() / "tnc" / "Quorvane" / "Quorvane_Relavio.TAB"));

  EXPECT_EQ(nc.Ask("init 100\n"), "ok\n");
  EXPECT_EQ(cam.Ask("Check Machine Buffer\n"), "Buffer Data: 1,64\n");
  EXPECT_EQ(cam.Ask("Start Machine Polling\nSend Device\n", "Machine Tool\n"),
            "Polling Data: 1\nDevice Data: 1,Machine Tool\n");

  // The NC program posts and signals; the client fetches, measures first.
  EXPECT_EQ(nc.Ask("context 7.5\npost 1.25 12.0305 3 1.5 -0.01 2\nsignal 3\n", "ok\n"), "ok\nok 1\nok\n");
  ASSERT_TRUE(Pump([&] { return nc.Ask("get 104\n") == "ok -1\n"; }, 5000));
  EXPECT_EQ(cam.Ask("Send Action\nSend Measure\n", ",0,0,0,0\n"),
            "No Actions!\nMeasure Data: 1,FA,C,5,3,3A98,FFFFFF9C,4E20,124F8,0,0,0,0\n");
  // The NC program may see its answer before the reply to the write is back.
  EXPECT_TRUE(Pump([&] { return cam.Ask("Send Action\n") == "Action Data: 1\n"; }, 5000));
  EXPECT_EQ(cam.Ask("Send Action\n"), "Action Data: 0\n");
  EXPECT_EQ(cam.Ask("Send Measure\nSend Action\n", "No Measures!\n"), "No Actions!\nNo Measures!\n");

  // Commands reach the command rows.
  EXPECT_EQ(cam.Ask("Halt Monitoring\n"), "Command Data: Halt Monitoring,1\n");
  EXPECT_EQ(nc.Ask("command\nack\n", "ok\n"), "ok 1 0 0 0 0 0 0\nok\n");
  EXPECT_EQ(cam.Ask("Resume Monitoring\n"), "Command Data: Resume Monitoring,1\n");
  EXPECT_EQ(cam.Ask("Set WCS: 186A0,0,FFFE7960,0,0,0\n"), "Command Data: Set WCS,1\n");
  EXPECT_EQ(nc.Ask("command\nack\n", "ok\n"), "ok 3 10 0 -10 0 0 0\nok\n");
  EXPECT_EQ(cam.Ask("Set Alarm: Unprojected\n"), "Command Data: Set Alarm,1\n");
  EXPECT_EQ(cam.Ask("Set Alarm: Bogus\n"), "Command Data: Set Alarm,0\n");  // refused for its content: no audit line
  EXPECT_EQ(nc.Ask("command\nack -2\n", "ok\n"), "ok 2 2 0 -10 0 0 0\nok\n");
  ASSERT_TRUE(Pump([&] { return cam.Ask("Send Alarm\n") == "Alarm Data: 2\n"; }, 5000));
  EXPECT_EQ(nc.Ask("ack 0\n"), "ok\n");
  ASSERT_TRUE(Pump([&] { return cam.Ask("Send Alarm\n") == "Alarm Data: 0\n"; }, 5000));

  EXPECT_EQ(cam.Ask("Stop Machine Polling\nSend Device\n", "Machine Tool\n"),
            "Polling Data: 0\nDevice Data: 0,Machine Tool\n");
  EXPECT_EQ(nc.Ask("get 104\n"), "ok 0\n");
  Stop();
  const QString said = QString::fromLocal8Bit(process.readAllStandardError());  // the places were usable
  EXPECT_FALSE(said.contains(QRegularExpression("cannot be (used|kept|written)|programs only"))) << said.toStdString();
  EXPECT_EQ(ReadText(settingsFile.toStdString()),
            "PortNumber=" + std::to_string(stored) + "\nxTopLeft=0\nyTopLeft=0\nMute=0\n");

  // The event log answers "what was written to the machine, and when".
  QFile log(LogFile());
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  const QRegularExpression stamped(
      "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} [0-9a-z]{4} (INFO |WARN |ERROR|AUDIT) \\w+: ");
  QStringList audit;
  for (QString line : QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts)) {
    line = line.trimmed();  // Windows ends its lines with CR LF
    EXPECT_TRUE(stamped.match(line).hasMatch()) << line.toStdString();
    if (line.mid(29, 5) == "AUDIT") audit << line.mid(35);
    if (line.contains("request: Set Alarm refused for its data 'Bogus'")) audit << "(refused: Bogus)";
  }

  // Who asked (the client's address and port) and the template's place vary.
  audit.replaceInStrings(QRegularExpression("for 127\\.0\\.0\\.1:\\d+"), "for CLIENT");
  audit.replaceInStrings(QRegularExpression("transmitted .*Quorvane_Relavio.TAB \\(\\d+ bytes\\)"),
                         "transmitted TEMPLATE");
  EXPECT_EQ(audit, QStringList({
                       "table: transmitted TEMPLATE to TNC:\\Quorvane\\Quorvane_Relavio.TAB",
                       "polling: read slot set to 0 at row 102: 0 records in the ring skipped",
                       "signal: 3 answered: -1 written to row 104",
                       "command: halt monitoring (code 1) for CLIENT: written, answer 1",
                       "command: halt monitoring (code 1): taken by the NC program (command row 0)",
                       "command: resume monitoring (code 0) for CLIENT: written, answer 1",
                       "command: resume monitoring (code 0): taken by the NC program (command row 0)",
                       "command: WCS (code 3) sent 186A0,0,FFFE7960,0,0,0 as "
                       "10.0000,0.0000,-10.0000,0.0000,0.0000,0.0000 for CLIENT: written, answer 1",
                       "command: WCS (code 3): taken by the NC program (command row 0)",
                       "command: alarm Unprojected (code 2, alarm code 2) for CLIENT: written, answer 1",
                       "(refused: Bogus)",
                       "alarm: answered by the NC program: alarm value 2",
                       "alarm: ended by the NC program (command row 0)",
                       "mailbox: read slot advanced 1 times, attachment tag cleared 0 times since the last count",
                       "signal: row 104 cleared as polling stops: written",
                   }));
}

TEST_P(HeadlessRun, AWholeExchangeThroughTheVirtualControl) { WholeExchange(); }

// The same exchange through the DNC component's stand-in, reached late-bound;
// the other tests would prove nothing more there than on the virtual control.
class HeadlessRunThroughDnc : public HeadlessRun {};
// However the stand-in is hosted: in-process as Both (the worker calls the
// objects the main thread made) and as Apartment (every call on an object
// arrives on the thread that made it), and out of process by a server of
// the other bitness, registered for its own programs only (no warning).
TEST_P(HeadlessRunThroughDnc, AWholeExchangeThroughTheStandInHoweverHosted) {
  const auto calls = dir.path() / "calls.txt";
  qputenv("OSTRANA_STANDIN_CALLS", Native(calls).toLocal8Bit());
  for (Hosting hosting :
       {Hosting::Both, Hosting::Apartment, Is32(GetParam()) ? Hosting::Server64 : Hosting::Server32}) {
    SCOPED_TRACE(static_cast<int>(hosting));
    ASSERT_TRUE(Host(hosting));
    for (const char* made : {"tnc", "log", "calls.txt"}) std::filesystem::remove_all(dir.path() / made);
    output.clear();
    WholeExchange();
    const QStringList lines = QString::fromLocal8Bit(ReadText(calls)).split('\n', Qt::SkipEmptyParts);
    const auto elsewhere = std::count_if(lines.begin(), lines.end(), [](const QString& line) {
      const QStringList threads = line.trimmed().section('\t', 1).split(' ');  // calling, making
      return threads.size() != 2 || threads[0] != threads[1];
    });
    EXPECT_GT(lines.size(), 20);
    if (hosting < Hosting::Server32) {
      EXPECT_EQ(elsewhere > 0, hosting == Hosting::Both) << elsewhere;
    }
  }
  qunsetenv("OSTRANA_STANDIN_CALLS");
  EXPECT_TRUE(Host(Hosting::Both));
}

// A table the connector cannot use: answered at once, the reason a line (never a box).
TEST_P(HeadlessRunThroughDnc, ADamagedTableIsAnsweredAtOnceWithItsReasonAsALine) {
  std::filesystem::create_directories(dir.path() / "tnc" / "Quorvane");
  std::ofstream(dir.path() / "tnc" / "Quorvane" / "Quorvane_Relavio.TAB")
      << "BEGIN Quorvane_Relavio.TAB MM\nNR  PARAM\n";
  StartWithConsole(true);
  RawClient cam(port);
  ASSERT_EQ(cam.ReceiveUntil("\n"), strings::Greeting());
  EXPECT_EQ(cam.Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 0\n");
  Stop();
  const QString said = QString::fromLocal8Bit(process.readAllStandardError());
  EXPECT_TRUE(
      said.contains("ostrana: Could not connect. Reason: The Freely Definable Table file "
                    "TNC:\\Quorvane\\Quorvane_Relavio.TAB cannot be used: the table"))
      << said.toStdString();
  EXPECT_TRUE(said.contains("is damaged: no [END] line")) << said.toStdString();
}

// --listen 127.0.0.1 keeps the port on this computer: another local address
// (127.0.0.2 is this machine too) is refused.
TEST_P(HeadlessRun, AListenAddressKeepsThePortToIt) {
  Start({"--listen", "127.0.0.1"});
  EXPECT_TRUE(output.contains(QStringLiteral("listening on port %1 (127.0.0.1)").arg(port))) << output.toStdString();
  RawClient local(port);
  EXPECT_EQ(local.ReceiveUntil("\n"), strings::Greeting());
  QTcpSocket other;
  other.connectToHost(QHostAddress("127.0.0.2"), static_cast<quint16>(port));
  EXPECT_FALSE(other.waitForConnected(3000));
  EXPECT_EQ(other.error(), QAbstractSocket::ConnectionRefusedError);
  Stop();
}

// A control that does not exist is refused; without the component every
// connect is refused, the box's text a line on stderr. ostrana-client asks
// and decodes there (as a Windows console program, its lines end in CR LF:
// the test reads them without).
TEST_P(HeadlessRun, WithoutTheComponentEveryConnectIsRefused) {
  Launch({"--headless", "--control", "real"});
  ASSERT_TRUE(process.waitForFinished(20000));
  EXPECT_EQ(process.exitCode(), 2);
  EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardError()).contains("virtual or none, not 'real'"));
  Start({"--control", "none"});
  const Said r = Client({"--port", QString::number(port), "Machine Connect: 4,localhost,0,100", "Machine Disconnect",
                         "Send Device", "Locate Machine Buffer\n", "--decode", "Send Alarm"});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(r.out,
            "Ident Data: Ostrana Connector, Version 1.1, Machine Tool\n"
            "Connection Data: 0\nConnection Data: 0\n"
            "Device Data: online=0 name=\n"
            "Buffer Data: result=0 baseRow=100\n"
            "Alarm Data: alarm=0\n");
  // Piped in: one request a line (an empty one skipped), each answered as if given as an argument.
  const Said piped = Client({"--port", QString::number(port), "--decode"}, {}, "Send Device\n\nSend Alarm");
  EXPECT_EQ(piped.out, r.out.left(r.out.indexOf('\n') + 1) + "Device Data: online=0 name=\nAlarm Data: alarm=0\n");
  Stop();
  const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
  // The box's text on one line.
  EXPECT_TRUE(errors.contains("ostrana: Cannot find the Heidenhain DCOM component.  The Heidenhain DCOM"));
  EXPECT_TRUE(errors.contains("--control virtual"));  // and where the machine is on this computer
}

TEST_P(HeadlessRun, ABusyPortIsSaidAndTheRunTakesAnother) {
  // A busy --port: the run says what it asked for, why that failed and what it
  // took instead; the port kept in the settings stays the default.
  QTcpServer squatter;
  ASSERT_TRUE(squatter.listen(QHostAddress::AnyIPv4, 0));
  Start({"--port", QString::number(squatter.serverPort())}, /*portZero=*/false);
  EXPECT_TRUE(output.contains(QStringLiteral("instead of port %1").arg(squatter.serverPort()))) << output.toStdString();
  Stop();  // stdout and stderr are written apart: all of stderr is there once the run has ended
  EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardError())
                  .contains(QStringLiteral("cannot listen on port %1: %2")
                                .arg(squatter.serverPort())
                                .arg("The bound address is already in use")));
  EXPECT_EQ(Stored().portNumber, 50000);
}

// Settings and an event log that cannot be written, a display that is gone,
// and the terminal closing: each is said once (with the file and the
// system's reason), and the run goes on (and ends) in order. (A TNC drive
// that cannot be locked stops the run: the drive lock's own test.)
TEST_P(HeadlessRun, UnusablePlacesAndAStaleDisplayAreSaidAndSurvived) {
  if (OnWindows()) GTEST_SKIP();  // an X display and SIGHUP are Linux's
  const auto blocker = dir.path() / "a-file";
  std::ofstream(blocker) << "not a folder";
  settingsFile = QString::fromStdString((blocker / "settings.conf").string());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("QT_QPA_PLATFORM");
  env.remove("WAYLAND_DISPLAY");
  env.insert("DISPLAY", ":97");
  process.setProcessEnvironment(env);
  const QString log = QString::fromStdString((blocker / "ostrana.log").string());
  Start({"--log", log}, true, /*headless=*/false);
  ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
  ASSERT_TRUE(process.waitForFinished(10000));
  output += QString::fromLocal8Bit(process.readAllStandardOutput());
  EXPECT_TRUE(output.contains("ostrana: stopped"));
  const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
  EXPECT_TRUE(errors.contains("the display :97 cannot be opened: running headless")) << errors.toStdString();
  EXPECT_TRUE(errors.contains("The settings cannot be kept in " + settingsFile)) << errors.toStdString();
  EXPECT_EQ(errors.count("The settings were not saved in " + settingsFile + ": Not a directory"), 1);
  EXPECT_TRUE(errors.contains(log + " cannot be written: Not a directory")) << errors.toStdString();
  EXPECT_EQ(errors.count("cannot be written"), 1);
}

// A settings file named by bytes that are not UTF-8 is the file read and
// written; in it, a stored listen address that is not one keeps the port on
// this computer, a value that does not parse is named by its line and left,
// and every line but the values written stays as it was. A second connector
// on the same TNC drive is refused, naming the first; a settings file that
// is a FIFO is refused without a wait and left as it is.
TEST_P(HeadlessRun, HostileSettingsAndASharedDrive) {
  if (OnWindows()) GTEST_SKIP();  // a FIFO; the registry's own case is Windows'
  const std::string stored =
      "[General]\n# the shop's\nListenAddress=127.0.0.1, ::1\nxTopLeft=@Variant(\\0)\nMute=1 ;\n";
  std::ofstream((dir.path() / "s\xff.conf").string()) << stored;
  process.start("/bin/sh", {"-c",
                            "exec \"$0\" --headless --port 0 --log \"$1\" --tnc-root \"$2\" --settings "
                            "\"$3$(printf '\\377').conf\"",
                            OSTRANA_BINARY, LogFile(), Native(dir.path() / "tnc"), Native(dir.path() / "s")});
  port = WaitForNumber("listening on port (\\d+)");
  EXPECT_TRUE(output.contains(QString("listening on port %1 (127.0.0.1)").arg(port))) << output.toStdString();
  const std::string fifo = (dir.path() / "fifo.conf").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto files = [&] {  // a refused start makes none (not even a log of its own)
    std::set<std::filesystem::path> all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) all.insert(entry.path());
    return all;
  };
  const auto before = files();
  QProcess second;
  second.start(OSTRANA_BINARY, {"--headless", "--port", "0", "--settings", QString::fromStdString(fifo), "--log",
                                LogFile(), "--tnc-root", Native(dir.path() / "tnc")});
  ASSERT_TRUE(second.waitForFinished(20000));
  EXPECT_EQ(files(), before);
  EXPECT_EQ(second.exitCode(), 3);  // held by another connector: a service is not restarted on it
  const QString secondSaid = QString::fromLocal8Bit(second.readAllStandardError());
  EXPECT_TRUE(secondSaid.contains("The settings cannot be kept in " + QString::fromStdString(fifo) +
                                  ": it is not a regular file"))
      << secondSaid.toStdString();
  EXPECT_TRUE(secondSaid.contains(QString("is already running on the TNC drive folder %1 (process %2), listening on "
                                          "port %3")
                                      .arg(Native(dir.path() / "tnc"))
                                      .arg(process.processId())
                                      .arg(port)))
      << secondSaid.toStdString();
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  Stop();
  const QString said = QString::fromLocal8Bit(process.readAllStandardError()),
                file = Native(dir.path() / "s\\xFF.conf");  // a byte that is no UTF-8, escaped
  EXPECT_TRUE(said.contains("The stored listen address '127.0.0.1, ::1' (line 3 of " + file +
                            ") is not an address: the "
                            "port listens on this computer only (127.0.0.1)."))
      << said.toStdString();
  EXPECT_TRUE(said.contains(file + ", line 5: Mute '1 ;' is not a whole number: 0 is used")) << said.toStdString();
  EXPECT_EQ(ReadText(dir.path() / "s\xff.conf"), stored + "PortNumber=50000\nyTopLeft=0\n");
}

// Its stderr a pipe nobody reads (the journal of a stalled service): the
// lines wait for it, the requests do not, and SIGTERM still ends the run.
TEST_P(HeadlessRun, AConsoleNobodyReadsStopsNothing) {
  if (OnWindows()) GTEST_SKIP();  // a POSIX pipe
  const std::string pipe = (dir.path() / "stderr").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);  // there, and never reading
  process.setStandardErrorFile(QString::fromStdString(pipe));
  Start();
  const std::string connect = "Machine Connect: 4," + std::string(200, 'h') + ",0,100\n";
  {
    RawClient cam(port);
    ASSERT_EQ(cam.ReceiveUntil("\n"), strings::Greeting());
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(cam.Ask(connect), "Connection Data: 1\n") << i;
  }
  RawClient later(port);
  EXPECT_EQ(later.ReceiveUntil("\n"), strings::Greeting());
  Stop();
  ::close(reader);
}

// Quick connect cycles: a burst of clients that reset at once, then clients
// that wait for the greeting, reset or close at once. A client that left
// before it was accepted costs no accept failure and no pause: the next
// one is greeted at once, and the listener never stops taking clients.
TEST_P(HeadlessRun, QuickConnectCyclesNeverStopTheListener) {
  Start();
  for (int i = 0; i < 400; ++i) {
    RawClient cycle(port);
    ASSERT_TRUE(cycle.Connected()) << i;
    const int kind = i < 300 ? 1 : i % 3;  // 0: greeted, 1: reset, 2: closed
    if (kind == 0 || i == 300) {
      ASSERT_EQ(cycle.ReceiveUntil("\n", 15000), strings::Greeting()) << i;
    }
    if (kind == 1) cycle.Reset();
  }
  EXPECT_EQ(RawClient(port).ReceiveUntil("\n", 15000), strings::Greeting());
  Stop();
  EXPECT_EQ(test::ReadText(LogFile().toStdString()).find("accept failed"), std::string::npos);
}

// Started with stdin, stdout and stderr closed (as some supervisors start
// it), the run's own descriptors take none of their numbers: it serves (a
// line on stderr is no signal), and SIGTERM ends it.
TEST_P(HeadlessRun, ClosedStandardStreamsStopNothing) {
  if (OnWindows()) GTEST_SKIP();  // POSIX descriptors
  process.setChildProcessModifier([] { ::close(0), ::close(1), ::close(2); });
  port = FreePort();
  Launch({"--headless", "--control", "none", "--port", QString::number(port), "--log", LogFile(), "--settings",
          settingsFile, "--tnc-root", Native(dir.path() / "tnc")});
  Pump([] { return false; }, 500);
  ASSERT_EQ(process.state(), QProcess::Running);
  EXPECT_EQ(RawClient(port).ReceiveUntil("\n"), strings::Greeting());
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  ASSERT_TRUE(process.waitForFinished(20000));
  EXPECT_EQ(process.exitCode(), 0);
}

// ostrana-client against servers that are no connector (its port given
// first, a later --port wins): one that refuses, none, silent, a line without an end, an
// answer that never ends or grows without bound, escape sequences (in
// discovery too), measures that go on through a Ctrl-C. Each ends the client,
// with its reason, and nothing the server sent reaches the terminal raw.
TEST_P(HeadlessRun, TheClientToolStandsAHostileServer) {
  const QByteArray clipboard = "Ident Data: \x1b]52;c;eA==\x07\n", escaped = "Ident Data: \\x1B]52;c;eA==\\x07\n";
  const struct {
    QByteArray greeting, answer;  // the answer to each request; "*": "No Actions!" every 5 ms
    QStringList args;
    int code;
    QString said;  // on stderr, or (code 0) on stdout
  } cases[] = {
      {"", "", {"--version"}, 0, "ostrana-client (Ostrana Connector), Version 1.1\n"},
      // Unquoted words are two requests a connector does not know; a command not written: the possible reasons.
      {"Ident Data: x\n", "Unknown request!\n", {"Send", "Device"}, 3, "not understand \"Send\" (quote a request of"},
      {"Ident Data: x\n", "Command Data: Set WCS,0\n", {"Set WCS: 10,0,-10,0,0,0"}, 4, "(-10.0 is FFFE7960: the value"},
      {"", "", {"--port", "x"}, 2, "--port needs a number"},
      {"", "", {"--port", QString::number(FreePort()), "Send Device"}, 1, "ostrana-client: connection refused"},
      {"", "", {"--timeout", "300", "Send Device"}, 1, "ostrana-client: no greeting\n"},
      {QByteArray(100000, 'A'), "", {"Send Device"}, 1, "no greeting: a line of more than 1040 bytes"},
      {"Ident Data: x\n", "*", {"--timeout", "300", "Send Action"}, 1, "the answer did not end within 300 ms"},
      {"Ident Data: x\n", QByteArray("No Actions!\n").repeated(2000), {"Send Action"}, 1, "more than 16640 bytes"},
      {clipboard, "\x1b[2J\n", {"--decode", "Send Device"}, 0, escaped + "\\x1B[2J\n"},  // and a screen cleared
      {clipboard, "", {"--discover", "--yes"}, 0, escaped},
      {"Ident Data: x\n", "Measure Data: 0,1,1,1,0,3A98,4E20,7530,0,0,0,0,0\n", {"--follow", "5"}, 0, "events ("},
  };
  for (const auto& c : cases) {
    // Ctrl-C under Wine, and a hundred ports through the one Wine server: the Linux run says it.
    if (OnWindows() && (c.args.contains("--follow") || c.args.contains("--discover"))) continue;
    QTcpServer server;  // in the discoverable range
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, static_cast<quint16>(FreeDiscoverablePorts().at(0))));
    QTimer stream;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
      QTcpSocket* s = server.nextPendingConnection();
      s->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // no line held back for an acknowledgement
      s->write(c.greeting);
      QObject::connect(s, &QTcpSocket::readyRead,
                       [&, s] { s->readAll(), c.answer == "*" ? stream.start(5) : (void)s->write(c.answer); });
      QObject::connect(&stream, &QTimer::timeout, s, [s] { s->write("No Actions!\n"); });
    });
    const Said r = Client(QStringList{"--port", QString::number(server.serverPort())} + c.args,
                          [](QProcess& client, const QString& out) {  // Ctrl-C while measures come
                            if (out.contains("Measure Data") && client.processId() > 0)
                              ::kill(static_cast<pid_t>(client.processId()), SIGINT);
                          });
    EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
    EXPECT_TRUE((c.code ? r.err : r.out).contains(c.said)) << r.out.toStdString() << r.err.toStdString();
  }
}

// Discovery names the connectors in the discoverable range, and nothing else there.
TEST_P(HeadlessRun, TheClientToolDiscoversConnectorsAndNothingElse) {
  if (OnWindows()) GTEST_SKIP();  // a hundred ports through the one Wine server: the Linux run says it
  const auto ports = FreeDiscoverablePorts(2);
  ASSERT_EQ(ports.size(), 2u);
  Start({"--port", QString::number(ports[1])}, /*portZero=*/false);
  QTcpServer other;  // something else in the range
  ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, static_cast<quint16>(ports[0])));
  QObject::connect(&other, &QTcpServer::newConnection, [&] {
    while (auto* s = other.nextPendingConnection()) s->write("HTTP/1.0 400 Bad Request\r\n\r\n");
  });
  auto r = Client({"--discover"});  // it would drop the live client: without a terminal, refused
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains("replaces the CAM client of every connector it finds: give --yes"));
  r = Client({"--discover", "--yes"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.out.contains(QString("%1 Ident Data: Ostrana Connector").arg(ports[1]))) << r.out.toStdString();
  EXPECT_FALSE(r.out.contains(QString::number(ports[0])));
  Stop();
}

// --follow prints what the NC program posts and signals, and sums it up at Ctrl-C.
TEST_P(HeadlessRun, TheClientToolFollowsWhatTheNcProgramPosts) {
  if (OnWindows()) GTEST_SKIP();  // Ctrl-C to a console program under Wine: the headless runs prove it
  const int consolePort = StartWithConsole(/*portZero=*/true);
  ASSERT_GT(consolePort, 0);
  const QString at = QString::number(port);
  ASSERT_EQ(Client({"--port", at, "Machine Connect: 4,localhost,0,100"}).code, 0);
  RawClient nc(consolePort);
  ASSERT_EQ(nc.Ask("init 100\n"), "ok\n");
  int posted = 0;  // the ring holds four: the next once the client has taken one
  const Said r = Client({"--port", at, "--follow", "50", "Check Machine Buffer", "Start Machine Polling"},
                        [&](QProcess& follow, const QString& out) {
                          const int taken = static_cast<int>(out.count("Measure Data"));
                          if (taken == 6 && out.contains("Action Data: 0") && follow.processId() > 0)
                            ::kill(static_cast<pid_t>(follow.processId()), SIGINT);
                          if (!out.contains("Polling Data: 1") || posted == std::min(6, taken + 4)) return;
                          const std::string post = "post 0.001 " + std::to_string(posted + 1) + ".0001 0 1.5 2 3\n";
                          if (nc.Ask(post).rfind("ok", 0) == 0 && ++posted == 6) {
                            EXPECT_EQ(nc.Ask("signal 1\n"), "ok\n");
                          }
                        });
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.out.contains("Measure Data: 0,1,1,1,0,3A98,4E20,7530,0,0,0,0,0") &&
              r.out.contains("Measure Data: 0,1,6,1,0,3A98,4E20,7530,0,0,0,0,0"));
  EXPECT_TRUE(r.out.contains("ostrana-client: 7 events (6 measures, 1 actions), 0 gaps")) << r.out.toStdString();
  Stop();  // while polling: the worker ends before the machine goes
  EXPECT_NE(test::ReadText(LogFile().toStdString()).find("cleared as polling stops: written"), std::string::npos);
}

// The events in the platform's log, each with its fields: a client
// replaced, an audit line, a refused command with its reason, the machine
// lost. On Linux the journal (--journal), which lists exactly the audit as
// such, and the lines it took stay off stderr. On Windows the Application
// log, as Wine's trace of ReportEventW shows it (type, category and ID,
// then the eight strings: the text, client, machine, command, values,
// result, reason, repeats; "-" for none), read as the journal's fields;
// without the source's registration the file log says so once.
TEST_P(HeadlessRun, TheEventsReachThePlatformsLogWithTheirFields) {
  std::string why;
  if (!OnWindows() && !JournalReceiver::Isolate(&why)) GTEST_SKIP() << why;
  std::optional<JournalReceiver> journal;
  if (!OnWindows()) journal.emplace(/*reading=*/true);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("WINEDEBUG", "+eventlog");
  process.setProcessEnvironment(env);
  Start(OnWindows() ? QStringList{"--nc-console", "0"} : QStringList{"--nc-console", "0", "--journal"});
  RawClient first(port), cam(port), nc(WaitForNumber("nc console on port (\\d+)"));
  ASSERT_EQ(cam.ReceiveUntil("\n"), strings::Greeting());
  ASSERT_EQ(cam.Ask("Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
  ASSERT_EQ(nc.Ask("init 100\n"), "ok\n");
  ASSERT_EQ(cam.Ask("Check Machine Buffer\n"), "Buffer Data: 1,64\n");
  ASSERT_EQ(cam.Ask("Start Machine Polling\n"), "Polling Data: 1\n");
  ASSERT_EQ(cam.Ask("Set WCS: 186A0,0,FFFE7960,0,0,0\n"), "Command Data: Set WCS,1\n");
  ASSERT_EQ(cam.Ask("Halt Monitoring\n"), "Command Data: Halt Monitoring,0\n");  // the WCS still waits
  std::ofstream(dir.path() / "tnc" / "Quorvane" / "Quorvane_Relavio.TAB") << "damaged";
  QString mirrored;  // stderr: the mirror, and Wine's trace
  std::vector<JournalReceiver::Entry> reported;
  auto where = [&](const std::string& name, const std::string& value) {
    if (journal) return journal->Where(name, value);
    std::vector<JournalReceiver::Entry> found;
    std::copy_if(reported.begin(), reported.end(), std::back_inserter(found),
                 [&](const auto& entry) { return entry.count(name) && entry.at(name) == value; });
    return found;
  };
  EXPECT_TRUE(Pump(
      [&] {
        return (mirrored += process.readAllStandardError()).contains(",0x0000012f,") ||
               !where("OSTRANA_ID", "303").empty();
      },
      20000));  // lost
  Stop();
  mirrored += process.readAllStandardError();
  const QRegularExpression call(R"re(ReportEventW (?:\(\w+,0x(\w+),0x(\w+),0x(\w+),|L"(.*)"$))re");
  const char* fields[] = {"MESSAGE",        "OSTRANA_CLIENT", "OSTRANA_MACHINE", "OSTRANA_COMMAND",
                          "OSTRANA_VALUES", "OSTRANA_RESULT", "OSTRANA_REASON",  "OSTRANA_REPEATS"};
  const char* kinds[] = {"", "start", "client", "machine", "audit", "dnc", "log"};  // by category
  for (std::size_t field = 0; const QString& line : mirrored.split('\n')) {
    const auto m = call.match(line.trimmed());
    if (m.hasMatch() && m.captured(4).isNull()) {  // the call: type (error 1, warning 2, information 4), category, ID
      reported.push_back({{"OSTRANA_ID", std::to_string(m.captured(3).toInt(nullptr, 16))},
                          {"PRIORITY", std::string(1, "?34?6"[m.captured(1).toInt(nullptr, 16) & 7])},
                          {"OSTRANA_KIND", kinds[m.captured(2).toInt(nullptr, 16) % 7]}});
      field = 0;
    } else if (m.hasMatch() && !reported.empty() && field < 8 && m.captured(4) != (++field == 8 ? "0" : "-")) {
      reported.back()[fields[field - 1]] = m.captured(4).toStdString();  // a string the event has
    }
  }
  ASSERT_TRUE(Pump([&] { return !where("OSTRANA_ID", "101").empty(); }, 5000));  // stopped: the last one
  const std::pair<const char*, std::vector<std::string>> expected[] = {
      {"100", {"OSTRANA_KIND=start"}},  // told while the file waited for the machine side, and not again
      {"202", {"OSTRANA_KIND=client", "PRIORITY=6"}},
      {"400",
       {"OSTRANA_KIND=audit", "OSTRANA_MACHINE=localhost,0", "OSTRANA_COMMAND=WCS (code 3)", "OSTRANA_RESULT=written",
        "OSTRANA_VALUES=sent 186A0,0,FFFE7960,0,0,0 as 10.0000,0.0000,-10.0000,0.0000,0.0000,0.0000"}},
      {"401",
       {"OSTRANA_COMMAND=halt monitoring (code 1)", "OSTRANA_RESULT=not written",
        "OSTRANA_REASON=a command is still waiting on the machine"}},
      {"303", {"OSTRANA_KIND=machine", "OSTRANA_MACHINE=localhost,0", "PRIORITY=4"}}};
  for (const auto& [id, fields] : expected) {
    const auto found = where("OSTRANA_ID", id);
    ASSERT_EQ(found.size(), 1u) << id << mirrored.toStdString();
    for (const std::string& field : fields)
      EXPECT_EQ(field.substr(0, field.find('=') + 1) + found[0].at(field.substr(0, field.find('='))), field);
  }
  // The client replaced names the one that came: the one whose commands follow.
  EXPECT_EQ(where("OSTRANA_ID", "202")[0].at("OSTRANA_REASON"),
            "replaced by " + where("OSTRANA_ID", "400")[0].at("OSTRANA_CLIENT"));
  const QString log = QString::fromStdString(ReadText(LogFile().toStdString()));
  EXPECT_EQ(static_cast<qsizetype>(where("OSTRANA_KIND", "audit").size()), log.count(" AUDIT "));
  EXPECT_EQ(log.count("event source \"Ostrana Connector\" is not registered"), OnWindows() ? 1 : 0);
  EXPECT_TRUE(mirrored.contains("INFO  polling: started") && (OnWindows() || !mirrored.contains("client: replaced")))
      << mirrored.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Linux, HeadlessRun, ::testing::Values(Program::Linux), ProgramName);
INSTANTIATE_TEST_SUITE_P(Windows, HeadlessRun, OnWindowsBuild(Program::Windows), ProgramName);
INSTANTIATE_TEST_SUITE_P(Windows32, HeadlessRun, OnWindowsBuild(Program::Windows32), ProgramName);
INSTANTIATE_TEST_SUITE_P(Windows, HeadlessRunThroughDnc, OnWindowsBuild(Program::WindowsDnc), ProgramName);
INSTANTIATE_TEST_SUITE_P(Windows32, HeadlessRunThroughDnc, OnWindowsBuild(Program::Windows32Dnc), ProgramName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(HeadlessRunThroughDnc);
