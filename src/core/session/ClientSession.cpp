#include "session/ClientSession.h"

#include <cstring>

#include "protocol/Dispatcher.h"
#include "common/EventLog.h"
#include "common/StringTable.h"

namespace ostrana::session {

ClientSession::ClientSession(ClientTransport& transport, protocol::RequestOperations& operations, Prompts& prompts)
    : transport_(transport), operations_(operations), prompts_(prompts) {}

bool ClientSession::ClientConnected() const { return operations_.ClientAttached(); }

std::string ListenAddressText(const std::string& address) {
  return address.empty() || address == "0.0.0.0" ? "all interfaces" : address;
}

bool ClientSession::ListenOn(std::int64_t port) {
  transport_.CloseListener();
  if (port < 0 || port > 65535) {
    listening_ = false;
    listenError_ = "no such port";
    return false;
  }
  listening_ = transport_.Listen(listenAddress_, static_cast<int>(port), &listenError_);
  if (!listening_) return false;
  Log(LogLevel::Info, "port", "listening on " + ListenAddressText() + " port " + std::to_string(BoundPort()));
  if (whenListening_) whenListening_(BoundPort());
  return true;
}

void ClientSession::RecoverPort() {
  if (!prompts_.AskYesNo(strings::kAskScanPorts)) {
    prompts_.ShowMessage(strings::kPortNotAvailable, PromptIcon::None);
    return;
  }
  bool found = false;
  for (int p = kFirstDiscoverablePort; p <= kLastDiscoverablePort && !found; ++p) {
    if (ListenOn(p)) {
      portNumber_ = p;
      found = true;
    }
  }
  if (view_) view_->ShowPortNumber();
  if (!found) {
    Log(LogLevel::Error, "port", "no port from 50000 to 50100 is free", LogEvent(EventId::NoFreePort));
    prompts_.ShowMessage(strings::kNoDiscoverablePort, PromptIcon::None);
  }
}

void ClientSession::ListenOrRecover() {
  if (ListenOn(portNumber_)) return;
  Log(LogLevel::Warning, "port", "cannot listen on port " + std::to_string(portNumber_) + ": " + listenError_,
      LogEvent(EventId::PortUnusable).Values(std::to_string(portNumber_)).Reason(listenError_));
  if (view_) view_->ListenFailed(portNumber_, listenError_);
  RecoverPort();
}

void ClientSession::OpenListener() { ListenOrRecover(); }

void ClientSession::MoveListener() {
  transport_.CloseListener();
  ListenOrRecover();
  if (view_) view_->UpdatePortStatus();
}

void ClientSession::DropClient(const std::string& newcomer) {
  if (!client_) return;
  const ConnectionId old = client_;
  client_ = 0;
  Log(LogLevel::Info, "client", "replaced: " + clientPeer_,
      LogEvent(EventId::ClientReplaced).Client(clientPeer_).Reason("replaced by " + newcomer));
  transport_.Abort(old, /*report=*/false);  // a replaced connection ends without any status change
}

void ClientSession::OnAccepted(ConnectionId id) {
  const std::string peer = transport_.Peer(id);
  DropClient(peer);
  acceptFailing_ = false;
  client_ = id;
  clientPeer_ = peer;
  Log(LogLevel::Info, "client", "accepted: " + clientPeer_, LogEvent(EventId::ClientAccepted).Client(peer));
  operations_.SetClientAttached(true, clientPeer_);
  if (view_) view_->UpdateConnectionStatus(true);
  transport_.Write(id, strings::Greeting());
  if (view_) view_->SetPortButtonEnabled(false);
}

void ClientSession::OnAcceptFailed(const std::string& reason) {
  Log(LogLevel::Error, "client", "accept failed: " + reason, LogEvent(EventId::AcceptFailed).Reason(reason));
  // The listener pauses after a failed accept. It must take the next client
  // once the cause (typically no free descriptor) has passed, so accepting
  // resumes after a short rest: soon enough for a client waiting in the
  // backlog, slow enough not to spin while the shortage lasts. The box is
  // shown once per run of failures, not once per retry.
  const bool first = !acceptFailing_;
  acceptFailing_ = true;
  transport_.ResumeAcceptingIn(kAcceptRetryMs);
  if (first) prompts_.ShowMessage(strings::kCannotAccept, PromptIcon::Exclamation);
}

void ClientSession::OnReadable(ConnectionId id) {
  // One chunk per receive; what lies beyond it is the next chunk. A message
  // box opened while dispatching runs a nested event loop that may take
  // further chunks, or even replace the client: check after every dispatch.
  while (id == client_ && transport_.Available(id) > 0) {
    char buffer[kMaxChunk + 1];
    std::memset(buffer, 0, sizeof buffer);
    const std::int64_t received = transport_.Read(id, buffer, kMaxChunk);
    if (received == 0) return;
    const std::string chunk(buffer);  // a zero byte ends the text
    const std::string reply = DispatchRequest(operations_, chunk);
    if (id == client_ && transport_.Open(id)) {
      transport_.Write(id, reply);
      if (transport_.Unsent(id) > kMaxUnreadReplies) {
        Log(LogLevel::Warning, "client", "dropped: " + clientPeer_ + " leaves its answers unread",
            LogEvent(EventId::ClientDropped).Client(clientPeer_).Reason("leaves its answers unread"));
        transport_.Abort(id, /*report=*/true);  // ends as a reset does: the client has left
        return;
      }
    }
    if (received < 0) return;
  }
}

void ClientSession::OnClosed(ConnectionId id) {
  // A reset or an abort ends the connection as surely as a graceful close:
  // either way the client has left and the port is free for the next one.
  if (id != client_) return;
  client_ = 0;
  Log(LogLevel::Info, "client", "left: " + clientPeer_, LogEvent(EventId::ClientLeft).Client(clientPeer_));
  operations_.SetClientAttached(false, clientPeer_);
  if (view_) view_->UpdateConnectionStatus(true);
  if (!transport_.Listening()) ListenOrRecover();
  listening_ = transport_.Listening();
  if (view_) view_->UpdatePortStatus();
  if (view_) view_->SetPortButtonEnabled(true);
}

void ClientSession::CloseSockets() {
  transport_.CloseListener();
  listening_ = false;
  if (client_) {
    const ConnectionId id = client_;
    client_ = 0;
    transport_.Close(id);
  }
}

}  // namespace ostrana::session
