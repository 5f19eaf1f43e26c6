#include "client/Connector.h"

#include <QHostAddress>
#include <QThread>
#include <cstring>

#include "client/Dispatcher.h"
#include "common/EventLog.h"
#include "common/StringTable.h"

namespace ostrana::client {

Connector::Connector(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                     mailbox::MailboxTiming timing, QObject* parent)
    : QObject(parent), MachineOperations(component, prompts, std::move(modulePath), timing, this),
      prompts_(prompts), server_(new QTcpServer(this)) {
  connect(server_, &QTcpServer::newConnection, this, &Connector::OnAccept);
  connect(server_, &QTcpServer::acceptError, this, &Connector::OnAcceptError);
  acceptRetry_.setSingleShot(true);
  acceptRetry_.setInterval(kAcceptRetryMs);
  connect(&acceptRetry_, &QTimer::timeout, this, [this] {
    if (server_->isListening()) server_->resumeAccepting();
  });
}

Connector::~Connector() {
  CloseSockets();
  ReleaseMachine();  // the worker ends while everything it reaches still exists
}

bool Connector::ClientConnected() const { return Stores().clientAttached.load(); }

int Connector::BoundPort() const { return server_->isListening() ? server_->serverPort() : 0; }

bool Connector::ListenOn(std::int64_t port) {
  server_->close();
  listening_ = port >= 0 && port <= 65535 && server_->listen(listenAddress, static_cast<quint16>(port));
  if (!listening_ && (port < 0 || port > 65535)) {
    server_->close();
    listenError_ = QStringLiteral("no such port");
  } else if (!listening_) {
    listenError_ = server_->errorString();
    server_->close();
  }
  if (listening_)
    Log(LogLevel::Info, "port", "listening on " + ListenAddressText().toStdString() + " port " +
                                    std::to_string(server_->serverPort()));
  return listening_;
}

QString Connector::ListenAddressText() const {
  return listenAddress == QHostAddress(QHostAddress::AnyIPv4) ? QStringLiteral("all interfaces")
                                                              : listenAddress.toString();
}

void Connector::RecoverPort() {
  if (!prompts_.AskYesNo(strings::kAskScanPorts)) {
    prompts_.ShowMessage(strings::kPortNotAvailable, PromptIcon::None);
    return;
  }
  bool found = false;
  for (int p = kFirstDiscoverablePort; p <= kLastDiscoverablePort && !found; ++p) {
    if (ListenOn(p)) {
      portNumber = p;
      found = true;
    }
  }
  if (view_) view_->ShowPortNumber();
  if (!found) {
    Log(LogLevel::Error, "port", "no port from 50000 to 50100 is free");
    prompts_.ShowMessage(strings::kNoDiscoverablePort, PromptIcon::None);
  }
}

void Connector::ListenOrRecover() {
  if (ListenOn(portNumber)) return;
  Log(LogLevel::Warning, "port", "cannot listen on port " + std::to_string(portNumber) + ": " +
                                     listenError_.toStdString());
  if (view_) view_->ListenFailed(portNumber, listenError_.toStdString());
  RecoverPort();
}

void Connector::OpenListener() { ListenOrRecover(); }

void Connector::MoveListener() {
  server_->close();
  ListenOrRecover();
  if (view_) view_->UpdatePortStatus();
}

void Connector::DropClient() {
  if (!client_) return;
  QTcpSocket* old = client_;
  client_ = nullptr;
  Log(LogLevel::Info, "client", "replaced: " + clientPeer_);
  old->disconnect(this);  // a replaced connection ends without any status change
  old->abort();
  old->deleteLater();
}

void Connector::OnAccept() {
  while (server_->hasPendingConnections()) {
    DropClient();
    QTcpSocket* socket = server_->nextPendingConnection();
    if (!socket) {
      prompts_.ShowMessage(strings::kCannotAccept, PromptIcon::Exclamation);
      return;
    }
    acceptFailing_ = false;
    client_ = socket;
    clientPeer_ = PeerText(socket);
    Log(LogLevel::Info, "client", "accepted: " + clientPeer_);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // short answers go out at once
    connect(socket, &QTcpSocket::readyRead, this, &Connector::OnReceive);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { OnClientGone(socket); });
    Stores().clientAttached.store(true);
    if (view_) view_->UpdateConnectionStatus(true);
    const std::string greeting = strings::Greeting();
    socket->write(greeting.data(), static_cast<qint64>(greeting.size()));
    socket->flush();
    if (view_) view_->SetPortButtonEnabled(false);
  }
}

std::string Connector::PeerText(const QTcpSocket* socket) {
  return (socket->peerAddress().toString() + QStringLiteral(":") + QString::number(socket->peerPort())).toStdString();
}

void Connector::OnAcceptError() {
  Log(LogLevel::Error, "client", "accept failed: " + server_->errorString().toStdString());
  // Qt pauses the listener after a failed accept. It must take the next
  // client once the cause (typically no free descriptor) has passed, so
  // accepting resumes after a short rest: soon enough for a client waiting in
  // the backlog, slow enough not to spin while the shortage lasts. The box is
  // shown once per run of failures, not once per retry.
  const bool first = !acceptFailing_;
  acceptFailing_ = true;
  acceptRetry_.start();
  if (first) prompts_.ShowMessage(strings::kCannotAccept, PromptIcon::Exclamation);
}

void Connector::OnReceive() {
  // One chunk per receive; what lies beyond it is the next chunk. A message
  // box opened while dispatching runs a nested event loop that may take
  // further chunks, or even replace the client: check after every dispatch.
  while (client_ && client_->bytesAvailable() > 0) {
    QPointer<QTcpSocket> socket = client_;
    char buffer[kMaxChunk + 1];
    std::memset(buffer, 0, sizeof buffer);
    const qint64 received = socket->read(buffer, kMaxChunk);
    if (received == 0) return;
    const std::string chunk(buffer);  // a zero byte ends the text
    const std::string reply = DispatchRequest(*this, chunk);
    if (socket && socket == client_) {
      socket->write(reply.data(), static_cast<qint64>(reply.size()));
      socket->flush();  // one send now, not on a later turn of the event loop
      if (socket->bytesToWrite() > kMaxUnreadReplies) {
        Log(LogLevel::Warning, "client", "dropped: " + clientPeer_ + " leaves its answers unread");
        socket->abort();  // ends as a reset does: the client has left
        return;
      }
    }
    if (received < 0) return;
  }
}

void Connector::OnClientGone(QTcpSocket* socket) {
  // A reset or an abort ends the connection as surely as a graceful close:
  // either way the client has left and the port is free for the next one.
  if (socket != client_) return;
  client_ = nullptr;
  Log(LogLevel::Info, "client", "left: " + clientPeer_);
  socket->disconnect(this);
  socket->deleteLater();
  Stores().clientAttached.store(false);
  if (view_) view_->UpdateConnectionStatus(true);
  if (!server_->isListening()) ListenOrRecover();
  listening_ = server_->isListening();
  if (view_) view_->UpdatePortStatus();
  if (view_) view_->SetPortButtonEnabled(true);
}

void Connector::CloseSockets() {
  server_->close();
  listening_ = false;
  if (client_) {
    QTcpSocket* socket = client_;
    client_ = nullptr;
    socket->disconnect(this);
    socket->flush();
    socket->disconnectFromHost();
    socket->close();
    socket->deleteLater();
  }
}

void Connector::ConnectionStatusChanged() {
  if (QThread::currentThread() == thread()) {
    if (view_) view_->UpdateConnectionStatus(true);
    return;
  }
  // From the worker: post, never wait; the main thread may be joining it.
  QMetaObject::invokeMethod(
      this, [this] { if (view_) view_->UpdateConnectionStatus(true); }, Qt::QueuedConnection);
}

}  // namespace ostrana::client
