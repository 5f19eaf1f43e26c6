// What the connector shows to the user: the status window implements it, the
// headless runner prints lines, tests record calls. Called on the main
// thread only (the connector posts worker-side changes there first).
#pragma once

#include <optional>
#include <string>

#include "common/StringTable.h"

namespace ostrana::session {

// The four connection states the user sees, from the client flag and the
// machine's reachability.
enum class ConnectionState { Neither, Both, MachineOnly, ClientOnly };

inline ConnectionState SelectConnectionState(bool client, bool machine) {
  if (client && machine) return ConnectionState::Both;
  if (machine) return ConnectionState::MachineOnly;
  if (client) return ConnectionState::ClientOnly;
  return ConnectionState::Neither;
}

inline const char* ConnectionStatusText(ConnectionState state) {
  switch (state) {
    case ConnectionState::Both: return strings::kStatusBoth;
    case ConnectionState::MachineOnly: return strings::kStatusMachineOnly;
    case ConnectionState::ClientOnly: return strings::kStatusClientOnly;
    default: return strings::kStatusNeither;
  }
}

class StatusView {
 public:
  virtual ~StatusView() = default;
  // Connection status from the client flag and the device status (or the
  // machine's state a posted change carries).
  virtual void UpdateConnectionStatus(bool playSound, std::optional<bool> machineOnline = std::nullopt) = 0;
  // Port indicator from the listening flag.
  virtual void UpdatePortStatus() = 0;
  // The Edit Port / Set Port button: disabled while a client is connected.
  virtual void SetPortButtonEnabled(bool enabled) = 0;
  // The port number was changed by port recovery: show it in the port box.
  virtual void ShowPortNumber() = 0;
  // Listening on `port` failed for the system's `reason`; port recovery follows.
  virtual void ListenFailed(int port, const std::string& reason) = 0;
};

}  // namespace ostrana::session
