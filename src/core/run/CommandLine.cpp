#include "run/CommandLine.h"

#include <charconv>
#include <cstdlib>

#include "common/StringTable.h"
#include "net/Socket.h"

namespace ostrana::run {
namespace {

struct OptionHelp {
  const char* names;
  const char* text;
  bool windowsOnly = false;
  bool linuxOnly = false;
};

const OptionHelp kHelp[] = {
    {"-h, --help", "Show this help."},
    {"--version", "Show the version."},
    {"--headless", "Run without a window and without sounds."},
    {"--port <N>", "Listen on port N for this run (0 to 65535)."},
    {"--settings <FILE>", "Keep the settings in FILE."},
    {"--tnc-root <DIR>", "The virtual control's TNC drive folder."},
    {"--control <KIND>", nullptr},
    {"--nc-console <N>", "Offer the virtual control's NC console on loopback port N (0: any)."},
    {"--log <FILE>", "Write the event log to FILE for this run."},
    {"--listen <ADDRESS>", "Listen on this local address only (default: all interfaces)."},
    {"--journal", "Send the events to the systemd journal (as when the journal reads stderr).", false, true},
    {"--dnc-probe [TEXT NUMBER]",
     "Check what the DNC component offers against what the connector calls; with connection data, "
     "connect and show the machine's state.",
     true},
    {"--dnc-probe-console",
     "Ask for the connection text and number (those of the last connect by default), probe, and wait for a key.", true},
};

std::string HelpText(bool windows) {
  std::string text =
      "Usage: ostrana [options]\n"
      "Ostrana Connector: bridges the Kelvra CAM client and a HEIDENHAIN TNC control.\n\nOptions:\n";
  for (const OptionHelp& option : kHelp) {
    if ((option.windowsOnly && !windows) || (option.linuxOnly && windows)) continue;
    std::string line = "  " + std::string(option.names);
    line.resize(std::max<std::size_t>(line.size() + 2, 30), ' ');
    const char* help = option.text ? option.text
                       : windows   ? "The machine: dnc (default, the DNC component), virtual or none."
                                   : "The machine: virtual (default) or none.";
    text += line + help + "\n";
  }
  return text;
}

std::optional<int> PortValue(const std::string& text) {
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 65535) return std::nullopt;
  return value;
}

}  // namespace

const char* ControlName(ControlKind kind) {
  switch (kind) {
    case ControlKind::None: return "none";
    case ControlKind::Dnc: return "dnc";
    default: return "virtual";
  }
}

bool IsListenAddress(const std::string& text) { return text.empty() || net::IsAddress(text); }

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, bool windows) {
  ParsedCommandLine result;
  Options options;
  options.control = windows ? ControlKind::Dnc : ControlKind::Virtual;
  bool controlGiven = false;
  auto fail = [&](std::string error) {
    result.error = std::move(error);
    return result;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> inlineValue;
    if (name.rfind("--", 0) == 0 && name.find('=') != std::string::npos) {
      inlineValue = name.substr(name.find('=') + 1);
      name = name.substr(0, name.find('='));
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 < arguments.size()) return arguments[++i];
      return std::nullopt;
    };
    auto takesNone = [&] { return !inlineValue; };
    if ((name == "-h" || name == "--help") && takesNone()) {
      result.exitText = HelpText(windows);
      return result;
    }
    if (name == "--version" && takesNone()) {
      result.exitText = std::string(strings::kAppName) + ", " + strings::kVersion + "\n";
      return result;
    }
    if (name == "--headless" && takesNone()) {
      options.headless = true;
      continue;
    }
    if (name == "--journal" && !windows && takesNone()) {
      options.journal = true;
      continue;
    }
    if (name == "--dnc-probe-console" && windows && takesNone()) {
      options.dncProbe = options.probeAsk = true;
      continue;
    }
    if (name == "--dnc-probe" && windows && takesNone()) {
      options.dncProbe = true;
      // The connection data, when given: two arguments that are not options.
      if (i + 2 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0 && arguments[i + 2].rfind("--", 0) != 0) {
        options.probeMachineText = arguments[++i];
        options.probeNumber = arguments[++i];
      }
      continue;
    }
    const bool known = name == "--port" || name == "--settings" || name == "--tnc-root" || name == "--control" ||
                       name == "--nc-console" || name == "--log" || name == "--listen";
    if (!known) {
      if (name.rfind("-", 0) == 0) return fail("Unknown option '" + name.substr(name.find_first_not_of('-')) + "'.");
      return fail("Unexpected argument: " + name);
    }
    const auto given = value();
    if (!given) return fail("Missing value after '" + name + "'.");
    const std::string& text = *given;
    if (name == "--port") {
      options.port = PortValue(text);
      if (!options.port) return fail("--port takes a number from 0 to 65535, not '" + text + "'");
    } else if (name == "--nc-console") {
      options.ncConsolePort = PortValue(text);
      if (!options.ncConsolePort) return fail("--nc-console takes a number from 0 to 65535, not '" + text + "'");
    } else if (name == "--settings") {
      options.settingsFile = text;
    } else if (name == "--tnc-root") {
      options.tncRoot = text;
    } else if (name == "--log") {
      options.logFile = text;
    } else if (name == "--listen") {
      if (!IsListenAddress(text))
        return fail("--listen takes an IPv4 or IPv6 address of this computer, not '" + text + "'");
      options.listenAddress = text;
    } else if (name == "--control") {
      controlGiven = true;
      if (text == "virtual")
        options.control = ControlKind::Virtual;
      else if (text == "none")
        options.control = ControlKind::None;
      else if (text == "dnc" && windows)
        options.control = ControlKind::Dnc;
      else
        return fail(std::string("--control takes ") + (windows ? "dnc, virtual or none" : "virtual or none") +
                    ", not '" + text + "'");
    }
  }
  if (options.ncConsolePort && options.control != ControlKind::Virtual)
    return fail(controlGiven || !windows ? "--nc-console needs the virtual control"
                                         : "--nc-console needs the virtual control (--control virtual)");
  result.options = options;
  return result;
}
}  // namespace ostrana::run
