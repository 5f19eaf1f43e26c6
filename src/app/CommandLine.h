// The connector's command line. Main thread only.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

namespace ostrana::app {

enum class ControlKind { Virtual, None };

struct Options {
  bool headless = false;
  std::optional<int> port;      // overrides the stored port for this run
  QString settingsFile;         // empty: the platform's place
  QString tncRoot;              // empty: the per-user data folder
  ControlKind control = ControlKind::Virtual;
  std::optional<int> ncConsolePort;
  QString logFile;              // empty: the stored one, else the per-user state folder
  QString listenAddress;        // empty: the stored one, else all interfaces
};

// Parses the arguments (the first is the program). On a mistake returns
// nullopt and sets `error`; on --help or --version sets `exitText` instead.
std::optional<Options> ParseCommandLine(const QStringList& arguments, QString* error, QString* exitText);

// The virtual control's drive folder when none is given.
QString DefaultTncRoot();
// The event log when none is given: the per-user state folder.
QString DefaultLogFile();
// A listen address as text: empty means all IPv4 interfaces; nothing when it is not an address.
std::optional<QHostAddress> ListenAddressValue(const QString& text);

}  // namespace ostrana::app
