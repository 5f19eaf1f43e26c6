#include "qt/QtClientTransport.h"

#include <QHostAddress>
#include <sys/socket.h>

#include "session/ClientSession.h"

namespace ostrana::qt {

using session::ConnectionId;

QtClientTransport::QtClientTransport(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
  connect(server_, &QTcpServer::newConnection, this, &QtClientTransport::OnNewConnections);
  // Qt pauses accepting after a failed accept; the session decides when to resume.
  connect(server_, &QTcpServer::acceptError, this, [this] {
    if (session_) session_->OnAcceptFailed(server_->errorString().toStdString());
  });
  resume_.setSingleShot(true);
  connect(&resume_, &QTimer::timeout, this, [this] {
    if (server_->isListening()) server_->resumeAccepting();
  });
}

QtClientTransport::~QtClientTransport() {
  for (auto& [id, socket] : sockets_)
    if (socket) socket->disconnect(this);
}

bool QtClientTransport::Listen(const std::string& address, int port, std::string* error) {
  server_->close();
  const QHostAddress host =
      address.empty() ? QHostAddress(QHostAddress::AnyIPv4) : QHostAddress(QString::fromStdString(address));
  if (server_->listen(host, static_cast<quint16>(port))) return true;
  if (error) *error = server_->errorString().toStdString();
  server_->close();
  return false;
}

void QtClientTransport::CloseListener() { server_->close(); }

void QtClientTransport::ResumeAcceptingIn(int ms) { resume_.start(ms); }

template <typename Handler>
void QtClientTransport::Serve(const Handler& handler) {
  ++serving_;
  handler();
  --serving_;
  DeleteRetired();
}

void QtClientTransport::DeleteRetired() {
  if (serving_ > 0) return;
  // Deleted later still: the emission that called a handler unwinds first.
  for (const QPointer<QTcpSocket>& socket : retired_)
    if (socket) socket->deleteLater();
  retired_.clear();
}

void QtClientTransport::OnNewConnections() {
  while (server_->hasPendingConnections()) {
    QTcpSocket* socket = server_->nextPendingConnection();
    if (!socket) {
      if (session_) session_->OnAcceptFailed(server_->errorString().toStdString());
      return;
    }
    const ConnectionId id = nextId_++;
    sockets_[id] = socket;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // short answers go out at once
    connect(socket, &QTcpSocket::readyRead, this, [this, id] {
      Serve([&] {
        if (session_) session_->OnReadable(id);
      });
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, id] {
      Serve([&] {
        if (session_) session_->OnClosed(id);
        Forget(id);
      });
    });
    if (session_) session_->OnAccepted(id);
  }
}

QTcpSocket* QtClientTransport::Socket(ConnectionId id) const {
  const auto it = sockets_.find(id);
  return it == sockets_.end() ? nullptr : it->second.data();
}

void QtClientTransport::Forget(ConnectionId id) {
  const auto it = sockets_.find(id);
  if (it == sockets_.end()) return;
  QTcpSocket* socket = it->second;
  sockets_.erase(it);
  if (!socket) return;
  socket->disconnect(this);
  retired_.push_back(socket);
  DeleteRetired();
}

std::int64_t QtClientTransport::Available(ConnectionId id) {
  QTcpSocket* socket = Socket(id);
  return socket ? socket->bytesAvailable() : 0;
}

std::int64_t QtClientTransport::Read(ConnectionId id, char* buffer, std::size_t max) {
  QTcpSocket* socket = Socket(id);
  return socket ? socket->read(buffer, static_cast<qint64>(max)) : -1;
}

void QtClientTransport::Write(ConnectionId id, const std::string& bytes) {
  QTcpSocket* socket = Socket(id);
  if (!socket) return;
  // An answer goes out in one send on the socket itself while nothing waits
  // before it: through Qt's write buffer it would switch the socket's write
  // notifier on and off again, each a wake-up of the event loop.
  std::size_t sent = 0;
  if (socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState) {
    const ssize_t n =
        ::send(static_cast<int>(socket->socketDescriptor()), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) sent = static_cast<std::size_t>(n);
  }
  if (sent == bytes.size()) return;
  // What the kernel did not take (a client not reading) waits in Qt's buffer.
  socket->write(bytes.data() + sent, static_cast<qint64>(bytes.size() - sent));
  socket->flush();
}

std::int64_t QtClientTransport::Unsent(ConnectionId id) {
  QTcpSocket* socket = Socket(id);
  return socket ? socket->bytesToWrite() : 0;
}

std::string QtClientTransport::Peer(ConnectionId id) {
  QTcpSocket* socket = Socket(id);
  if (!socket) return {};
  return (socket->peerAddress().toString() + QStringLiteral(":") + QString::number(socket->peerPort())).toStdString();
}

void QtClientTransport::Abort(ConnectionId id, bool report) {
  QTcpSocket* socket = Socket(id);
  if (!socket) return;
  if (!report) {
    Forget(id);
    socket->abort();
    return;
  }
  socket->abort();  // reports the close through `disconnected`
}

void QtClientTransport::Close(ConnectionId id) {
  QTcpSocket* socket = Socket(id);
  if (!socket) return;
  Forget(id);
  socket->flush();
  socket->disconnectFromHost();
  socket->close();
}

}  // namespace ostrana::qt
