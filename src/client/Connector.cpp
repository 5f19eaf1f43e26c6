#include "client/Connector.h"

#include <QThread>

namespace ostrana::client {

Connector::Connector(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                     mailbox::MailboxTiming timing, QObject* parent)
    : QObject(parent), MachineOperations(component, prompts, std::move(modulePath), timing, this),
      session_(transport_, *this, prompts), portNumber(session_.portNumber) {
  transport_.SetSession(&session_);
}

Connector::~Connector() {
  session_.CloseSockets();
  transport_.SetSession(nullptr);
  ReleaseMachine();  // the worker ends while everything it reaches still exists
}

void Connector::SetListenAddress(const QHostAddress& address) {
  session_.listenAddress = address == QHostAddress(QHostAddress::AnyIPv4) ? std::string() : address.toString().toStdString();
}

void Connector::ConnectionStatusChanged() {
  auto refresh = [this] {
    if (StatusView* view = session_.View()) view->UpdateConnectionStatus(true);
  };
  if (QThread::currentThread() == thread()) {
    refresh();
    return;
  }
  // From the worker: post, never wait; the main thread may be joining it.
  QMetaObject::invokeMethod(this, refresh, Qt::QueuedConnection);
}

}  // namespace ostrana::client
