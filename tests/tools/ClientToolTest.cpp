// ostrana-client against real connector processes and the NC console.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <csignal>
#include <memory>

#include "support/QtRunFixture.h"

using namespace ostrana::test;

namespace {

class Connector {
 public:
  Connector(const TempDir& dir, int port, bool console = false) {
    QStringList args = {"--headless", "--port", QString::number(port), "--settings",
                        QString::fromStdString((dir.path() / ("s" + std::to_string(port))).string()), "--tnc-root",
                        QString::fromStdString((dir.path() / "tnc").string())};
    if (console) args << "--nc-console" << "0";
    process.start(OSTRANA_BINARY, args);
    process.waitForStarted();
    Pump([&] {
      output += process.readAllStandardOutput();
      return output.contains("listening on port") && (!console || output.contains("nc console on port"));
    }, 10000);
    const auto m = QRegularExpression("nc console on port (\\d+)").match(output);
    if (m.hasMatch()) consolePort = m.captured(1).toInt();
  }
  ~Connector() {
    process.terminate();
    process.waitForFinished(5000);
  }
  QProcess process;
  QString output;
  int consolePort = 0;
};

struct Run {
  int code;
  QString out, err;
};

Run Client(const QStringList& args) {
  QProcess p;
  p.start(OSTRANA_CLIENT, args);
  p.waitForFinished(30000);
  return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

}  // namespace

TEST(ClientTool, RequestsAndTheirAnswers) {
  TempDir dir;
  const auto ports = FreeDiscoverablePorts(1);
  ASSERT_EQ(ports.size(), 1u);
  Connector c(dir, ports[0]);
  auto r = Client({"--port", QString::number(ports[0]), "Send Device", "Locate Machine Buffer\n", "--decode",
                   "Send Alarm"});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(r.out, "Ident Data: Ostrana Connector, Version 1.1, Machine Tool\n"
                   "Device Data: online=0 name=\n"
                   "Buffer Data: result=0 baseRow=0\n"
                   "Alarm Data: alarm=0\n");
  // Unquoted words are two requests the connector does not know: said, and not 0.
  r = Client({"--port", QString::number(ports[0]), "Send", "Device"});
  EXPECT_EQ(r.code, 3);
  EXPECT_TRUE(r.err.contains("did not understand \"Send\" (quote a request of several words)")) << r.err.toStdString();
  r = Client({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "ostrana-client (Ostrana Connector), Version 1.1\n");
}

TEST(ClientTool, FailuresAreOneLineAndNonZero) {
  QTcpServer silent;  // accepts, never greets
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  auto r = Client({"--port", QString::number(silent.serverPort()), "--timeout", "300", "Send Device"});
  EXPECT_NE(r.code, 0);
  EXPECT_EQ(r.err, "ostrana-client: no greeting\n");
  const int closed = silent.serverPort();
  silent.close();
  r = Client({"--port", QString::number(closed), "Send Device"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(r.err.startsWith("ostrana-client: connection refused")) << r.err.toStdString();
  r = Client({"--port", "x"});
  EXPECT_EQ(r.code, 2);
}

TEST(ClientTool, DiscoveryFindsConnectorsAndNothingElse) {
  TempDir dir;
  const auto ports = FreeDiscoverablePorts(3);
  ASSERT_EQ(ports.size(), 3u);
  Connector a(dir, ports[0]), b(dir, ports[2]);
  QTcpServer other;  // something else in the range
  ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, static_cast<quint16>(ports[1])));
  QObject::connect(&other, &QTcpServer::newConnection, [&] {
    while (auto* s = other.nextPendingConnection()) s->write("HTTP/1.0 400 Bad Request\r\n\r\n");
  });
  QProcess p;
  p.start(OSTRANA_CLIENT, {"--discover"});
  ASSERT_TRUE(Pump([&] { return p.state() == QProcess::NotRunning; }, 20000));
  const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_TRUE(out.contains(QString("%1 Ident Data: Ostrana Connector").arg(ports[0])));
  EXPECT_TRUE(out.contains(QString("%1 Ident Data: Ostrana Connector").arg(ports[2])));
  EXPECT_FALSE(out.contains(QString::number(ports[1])));
}

TEST(ClientTool, FollowReceivesWhatTheNcProgramPosts) {
  TempDir dir;
  const auto ports = FreeDiscoverablePorts(1);
  ASSERT_EQ(ports.size(), 1u);
  Connector c(dir, ports[0], true);
  ASSERT_GT(c.consolePort, 0);
  const QString port = QString::number(ports[0]);
  ASSERT_EQ(Client({"--port", port, "Machine Connect: 4,localhost,0,100"}).code, 0);
  RawClient nc(c.consolePort);
  ASSERT_EQ(nc.Ask("init 100\n"), "ok\n");

  QProcess follow;
  follow.start(OSTRANA_CLIENT, {"--port", port, "--follow", "50", "Check Machine Buffer", "Start Machine Polling"});
  QString out;
  ASSERT_TRUE(Pump([&] {
    out += QString::fromLocal8Bit(follow.readAllStandardOutput());
    return out.contains("Polling Data: 1");
  }, 10000));
  int posted = 0;
  while (posted < 6) {  // the ring holds four: post again once there is room
    nc.Send("post 0.001 " + std::to_string(posted + 1) + ".0001 0 1.5 2 3\n");
    if (nc.ReceiveUntil("\n").rfind("ok", 0) == 0) ++posted;
    else Pump([] { return false; }, 50);
  }
  nc.Send("signal 1\n");
  nc.ReceiveUntil("\n");
  ASSERT_TRUE(Pump([&] {
    out += QString::fromLocal8Bit(follow.readAllStandardOutput());
    return out.count("Measure Data") == 6 && out.contains("Action Data: 0");
  }, 15000)) << out.toStdString();
  ::kill(static_cast<pid_t>(follow.processId()), SIGINT);
  ASSERT_TRUE(follow.waitForFinished(5000));
  out += QString::fromLocal8Bit(follow.readAllStandardOutput());
  EXPECT_EQ(follow.exitCode(), 0);
  EXPECT_TRUE(out.contains("Measure Data: 0,1,1,1,0,3A98,4E20,7530,0,0,0,0,0"));
  EXPECT_TRUE(out.contains("Measure Data: 0,1,6,1,0,3A98,4E20,7530,0,0,0,0,0"));
  EXPECT_TRUE(out.contains("ostrana-client: 7 events (6 measures, 1 actions), 0 gaps")) << out.toStdString();
}
