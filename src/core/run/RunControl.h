// What the status window and the headless runner may do with a run of the
// connector: ask about the port and the two connections, move the listener,
// close it at exit. Nothing of the request side: a face cannot pop a
// measure, write to the machine or touch the stores.
//
// Threads: the main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "session/StatusView.h"

namespace ostrana::run {

// What the window's run leaves to be stored at exit: the place recorded on
// close, the mute state, and whether Set Port was used in this run.
struct WindowKept {
  std::int32_t xTopLeft = 0;
  std::int32_t yTopLeft = 0;
  bool muted = false;
  bool portSetByUser = false;
};

class RunControl {
 public:
  virtual ~RunControl() = default;

  // The face told of status changes; null for none.
  virtual void SetView(session::StatusView* view) = 0;
  // Start-up: listen on the port number, with port recovery when that fails.
  virtual void OpenListener() = 0;
  // Set Port: rebuild the listener on the port number (recovery when
  // needed), then show the port status.
  virtual void MoveListener() = 0;
  // Shutdown: close the client connection and the listener.
  virtual void CloseSockets() = 0;

  // The port number, as stored or typed: it may lie outside 0..65535.
  virtual std::int32_t PortNumber() const = 0;
  virtual void SetPortNumber(std::int32_t port) = 0;
  // "all interfaces" or the listen address, for messages.
  virtual std::string ListenAddressText() const = 0;
  virtual bool Listening() const = 0;
  // The port actually bound (differs from the port number for port 0); 0 when not listening.
  virtual int BoundPort() const = 0;
  virtual bool ClientConnected() const = 0;
  // The machine is reachable: the device status the polling worker keeps.
  virtual bool MachineOnline() const = 0;
};

}  // namespace ostrana::run
