#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

#include "common/StringTable.h"

namespace ostrana::app {
namespace {

std::optional<int> PortValue(const QString& text, bool allowZero) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value < (allowZero ? 0 : 1) || value > 65535) return std::nullopt;
  return value;
}

}  // namespace

std::optional<QHostAddress> ListenAddressValue(const QString& text) {
  if (text.isEmpty()) return QHostAddress(QHostAddress::AnyIPv4);
  QHostAddress address;
  if (!address.setAddress(text)) return std::nullopt;
  return address;
}

QString DefaultLogFile() {
#ifdef Q_OS_WIN
  return qEnvironmentVariable("LOCALAPPDATA") + QStringLiteral("\\Ostrana\\ostrana.log");
#else
  const QString state = qEnvironmentVariable("XDG_STATE_HOME");
  return (state.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/state") : state) + QStringLiteral("/ostrana/ostrana.log");
#endif
}

QString DefaultTncRoot() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/ostrana/tnc");
}

std::optional<Options> ParseCommandLine(const QStringList& arguments, QString* error, QString* exitText) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Ostrana Connector: bridges the Kelvra CAM client and a HEIDENHAIN TNC control."));
  const QCommandLineOption help({"h", "help"}, "Show this help.");
  const QCommandLineOption version("version", "Show the version.");
  const QCommandLineOption headless("headless", "Run without a window and without sounds.");
  const QCommandLineOption port("port", "Listen on port N for this run (0 to 65535).", "N");
  const QCommandLineOption settings("settings", "Keep the settings in FILE.", "FILE");
  const QCommandLineOption tncRoot("tnc-root", "The virtual control's TNC drive folder.", "DIR");
  const QCommandLineOption control("control", "The machine: virtual (default) or none.", "KIND");
  const QCommandLineOption ncConsole("nc-console", "Offer the virtual control's NC console on loopback port N (0: any).", "N");
  const QCommandLineOption log("log", "Write the event log to FILE for this run.", "FILE");
  const QCommandLineOption listen("listen", "Listen on this local address only (default: all interfaces).", "ADDRESS");
  parser.addOptions({help, version, headless, port, settings, tncRoot, control, ncConsole, log, listen});

  if (!parser.parse(arguments)) {
    *error = parser.errorText();
    return std::nullopt;
  }
  if (parser.isSet(help)) {
    // Parsed before the application object exists, so Qt does not know the name yet.
    *exitText = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("ostrana"));
    return std::nullopt;
  }
  if (parser.isSet(version)) {
    *exitText = QStringLiteral("%1, %2\n").arg(strings::kAppName, strings::kVersion);
    return std::nullopt;
  }
  if (!parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
    return std::nullopt;
  }
  Options options;
  options.headless = parser.isSet(headless);
  if (parser.isSet(port)) {
    options.port = PortValue(parser.value(port), true);
    if (!options.port) {
      *error = QStringLiteral("--port takes a number from 0 to 65535, not '%1'").arg(parser.value(port));
      return std::nullopt;
    }
  }
  options.settingsFile = parser.value(settings);
  options.logFile = parser.value(log);
  if (parser.isSet(listen)) {
    options.listenAddress = parser.value(listen);
    if (!ListenAddressValue(options.listenAddress)) {
      *error = QStringLiteral("--listen takes an IPv4 or IPv6 address of this computer, not '%1'").arg(parser.value(listen));
      return std::nullopt;
    }
  }
  options.tncRoot = parser.value(tncRoot);
  if (parser.isSet(control)) {
    const QString kind = parser.value(control);
    if (kind == QLatin1String("virtual")) options.control = ControlKind::Virtual;
    else if (kind == QLatin1String("none")) options.control = ControlKind::None;
    else {
      *error = QStringLiteral("--control takes virtual or none, not '%1'").arg(kind);
      return std::nullopt;
    }
  }
  if (parser.isSet(ncConsole)) {
    options.ncConsolePort = PortValue(parser.value(ncConsole), true);
    if (!options.ncConsolePort) {
      *error = QStringLiteral("--nc-console takes a number from 0 to 65535, not '%1'").arg(parser.value(ncConsole));
      return std::nullopt;
    }
    if (options.control != ControlKind::Virtual) {
      *error = QStringLiteral("--nc-console needs the virtual control");
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace ostrana::app
