// The connector's command line. Main thread only.
#pragma once

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
};

// Parses the arguments (the first is the program). On a mistake returns
// nullopt and sets `error`; on --help or --version sets `exitText` instead.
std::optional<Options> ParseCommandLine(const QStringList& arguments, QString* error, QString* exitText);

// The virtual control's drive folder when none is given.
QString DefaultTncRoot();

// Whether files can be made in `folder` (created when missing); when not,
// `why` holds the system's reason.
bool UsableFolder(const QString& folder, QString* why);

}  // namespace ostrana::app
