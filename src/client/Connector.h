// The owner of a run: the listening socket and the one client connection,
// the event stores, the machine connection and the request operations the
// dispatcher reaches. The status window and the headless runner both hold
// one; what it shows goes through a StatusView, what it asks through Prompts.
//
// Threads: lives on the main thread and is used there only. The polling
// worker reaches it through the stores' StatusNotifier, which posts the status
// refresh to the main thread and never waits for it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdint>
#include <memory>
#include <string>

#include "client/RequestOperations.h"
#include "client/StatusView.h"
#include "common/Prompts.h"
#include "dnc/Dnc.h"
#include "mailbox/EventStores.h"
#include "mailbox/OstranaConnect.h"

namespace ostrana::client {

// Ports the CAM client finds by itself; port recovery scans them.
inline constexpr int kFirstDiscoverablePort = 50000;
inline constexpr int kLastDiscoverablePort = 50100;
// One receive hands at most this many bytes to the dispatcher.
inline constexpr int kMaxChunk = 255;

class Connector final : public QObject, public RequestOperations, public mailbox::StatusNotifier {
 public:
  Connector(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
            mailbox::MailboxTiming timing = {}, QObject* parent = nullptr);
  ~Connector() override;

  void SetView(StatusView* view) { view_ = view; }

  // Start-up: listen on the port number, with port recovery when that fails.
  void OpenListener();
  // Set Port: rebuild the listener on the port number (recovery when needed),
  // then show the port status.
  void MoveListener();
  // Shutdown: close the client connection and the listener.
  void CloseSockets();

  std::int32_t portNumber = 50000;  // may be outside 0..65535 when stored so
  bool Listening() const { return listening_; }
  // The port actually bound (differs from portNumber for port 0); 0 when not listening.
  int BoundPort() const;
  bool ClientConnected() const { return stores_.clientAttached.load(); }

  mailbox::EventStores& Stores() { return stores_; }
  mailbox::OstranaConnect& Machine() { return *machine_; }

  // One chunk in, one reply out.
  std::string Dispatch(const std::string& chunk);

  // RequestOperations.
  bool ParseConnectionData(const Argument& argument) override;
  bool ApplyWcsData(const Argument& argument) override;
  bool Connect() override { return machine_->Connect(); }
  void Disconnect() override { machine_->Disconnect(); }
  bool StartPolling() override { return machine_->StartPolling(); }
  void StopPolling() override { machine_->StopPolling(); }
  bool ResumeMonitoring() override { return machine_->ResumeMonitoring(); }
  bool HaltMonitoring() override { return machine_->HaltMonitoring(); }
  bool CheckMachineBuffer() override { return machine_->CheckMachineBuffer(); }
  bool SetAlarm(std::int32_t code) override { return machine_->SetAlarm(code); }
  void SetMachineStatus(bool online) override { stores_.SetMachineStatus(online); }
  std::optional<std::int32_t> PopAction() override { return stores_.PopAction(); }
  std::optional<mailbox::MeasureRecord> PopMeasure() override { return stores_.PopMeasure(); }
  std::int32_t AlarmValue() override { return stores_.AlarmValue(); }
  mailbox::DeviceStatus ReadDeviceStatus() override { return stores_.ReadDeviceStatus(); }
  std::int32_t BaseRow() override { return machine_->BaseRow(); }

  // StatusNotifier: any thread.
  void ConnectionStatusChanged() override;

 private:
  bool ListenOn(std::int64_t port);
  void RecoverPort();
  void OnAccept();
  void OnAcceptError();
  void OnReceive();
  void OnClientGone(QTcpSocket* socket);
  void DropClient();

  Prompts& prompts_;
  StatusView* view_ = nullptr;
  mailbox::EventStores stores_;  // declared before the machine: the worker pushes into it
  std::unique_ptr<mailbox::OstranaConnect> machine_;
  QTcpServer* server_;
  QPointer<QTcpSocket> client_;
  bool listening_ = false;
};

}  // namespace ostrana::client
