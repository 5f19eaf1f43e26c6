#include "run/Headless.h"

#include "common/Console.h"
#include "common/StringTable.h"

namespace ostrana::run {

std::string OneLine(const std::string& text) {
  std::string line = text;
  while (!line.empty() && line.back() == '\n') line.pop_back();
  for (char& ch : line)
    if (ch == '\n' || ch == '\r') ch = ' ';
  return line;
}

void HeadlessPrompts::ShowMessage(const std::string& text, PromptIcon) { console::Err("ostrana: " + OneLine(text)); }

bool HeadlessPrompts::AskYesNo(const std::string& text) {
  console::Err("ostrana: " + OneLine(text) + " Yes.");
  return true;
}

void HeadlessView::UpdateConnectionStatus(bool, std::optional<bool> machineOnline) {
  const bool machine = machineOnline.value_or(run_.MachineOnline());
  const std::string status =
      session::ConnectionStatusText(session::SelectConnectionState(run_.ClientConnected(), machine));
  if (status == printedStatus_) return;
  printedStatus_ = status;
  console::Out("ostrana: status: " + status);
}

void HeadlessView::ListenFailed(int port, const std::string& reason) {
  failedPort_ = port;
  console::Err("ostrana: cannot listen on port " + std::to_string(port) + ": " + reason);
}

void HeadlessView::UpdatePortStatus() {
  const int port = run_.Listening() ? run_.BoundPort() : 0;
  if (port == printedPort_) return;
  printedPort_ = port;
  const std::string where = " (" + run_.ListenAddressText() + ")";
  if (port && failedPort_ >= 0 && port != failedPort_)
    console::Out("ostrana: listening on port " + std::to_string(port) + " instead of port " +
                 std::to_string(failedPort_) + where);
  else if (port)
    console::Out("ostrana: listening on port " + std::to_string(port) + where);
  else
    console::Out("ostrana: not listening: port " + std::to_string(run_.PortNumber()) + " is not available");
  failedPort_ = -1;
}

}  // namespace ostrana::run
