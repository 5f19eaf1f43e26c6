#include "run/Headless.h"

#include "common/StringTable.h"

namespace ostrana::run {

std::string OneLine(const std::string& text) {
  std::string line = text;
  while (!line.empty() && line.back() == '\n') line.pop_back();
  for (char& ch : line)
    if (ch == '\n' || ch == '\r') ch = ' ';
  return line;
}

void HeadlessPrompts::ShowMessage(const std::string& text, PromptIcon) {
  std::fprintf(stderr, "ostrana: %s\n", OneLine(text).c_str());
  std::fflush(stderr);
}

bool HeadlessPrompts::AskYesNo(const std::string& text) {
  std::fprintf(stderr, "ostrana: %s Yes.\n", OneLine(text).c_str());
  std::fflush(stderr);
  return true;
}

void HeadlessView::UpdateConnectionStatus(bool) {
  const bool machine = run_.MachineOnline();
  const std::string status =
      session::ConnectionStatusText(session::SelectConnectionState(run_.ClientConnected(), machine));
  if (status == printedStatus_) return;
  printedStatus_ = status;
  std::printf("ostrana: status: %s\n", status.c_str());
  std::fflush(stdout);
}

void HeadlessView::ListenFailed(int port, const std::string& reason) {
  failedPort_ = port;
  std::fprintf(stderr, "ostrana: cannot listen on port %d: %s\n", port, reason.c_str());
  std::fflush(stderr);
}

void HeadlessView::UpdatePortStatus() {
  const int port = run_.Listening() ? run_.BoundPort() : 0;
  if (port == printedPort_) return;
  printedPort_ = port;
  if (port && failedPort_ >= 0 && port != failedPort_)
    std::printf("ostrana: listening on port %d instead of port %d (%s)\n", port, failedPort_,
                run_.ListenAddressText().c_str());
  else if (port)
    std::printf("ostrana: listening on port %d (%s)\n", port, run_.ListenAddressText().c_str());
  else
    std::printf("ostrana: not listening: port %d is not available\n", static_cast<int>(run_.PortNumber()));
  failedPort_ = -1;
  std::fflush(stdout);
}

}  // namespace ostrana::run
