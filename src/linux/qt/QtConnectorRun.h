// A run of the connector on Qt: the shared run (ConnectorRun) over Qt
// Network (QtClientTransport). Worker-side status changes arrive as the
// signal statusChanged, emitted on whichever thread saw them; its queued
// connection to this object brings the refresh to the main thread, where
// the view is told. A change seen on the main thread is shown at once.
//
// Threads: built, used and destroyed on the main thread; statusChanged may
// be emitted from any thread.
#pragma once

#include <QObject>
#include <string>

#include "common/Prompts.h"
#include "dnc/Dnc.h"
#include "machine/EventStores.h"
#include "qt/QtClientTransport.h"
#include "run/ConnectorRun.h"

namespace ostrana::qt {

class QtConnectorRun final : public QObject, private machine::StatusNotifier {
  Q_OBJECT

 public:
  QtConnectorRun(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                 machine::MailboxTiming timing = {}, QObject* parent = nullptr);
  ~QtConnectorRun() override;

  run::ConnectorRun& Run() { return *run_; }
  // What the window and the headless runner hold.
  run::RunControl& Control() { return *run_; }

 signals:
  void statusChanged(bool machineOnline);

 private:
  // StatusNotifier: any thread; emits statusChanged.
  void ConnectionStatusChanged(bool machineOnline) override;

  QtClientTransport transport_;
  std::unique_ptr<run::ConnectorRun> run_;  // after the transport, gone before it
};

}  // namespace ostrana::qt
