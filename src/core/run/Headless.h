// The headless face of the connector: prompts as lines on stderr (the port
// scan question is answered Yes, so an unattended connector finds a port),
// and status changes as lines on stdout. Main thread only.
#pragma once

#include <cstdio>
#include <string>

#include "run/RunControl.h"
#include "session/StatusView.h"
#include "common/Prompts.h"

namespace ostrana::run {

class HeadlessPrompts final : public Prompts {
 public:
  void ShowMessage(const std::string& text, PromptIcon icon) override;
  bool AskYesNo(const std::string& text) override;
};

class HeadlessView final : public session::StatusView {
 public:
  explicit HeadlessView(RunControl& run) : run_(run) {}
  void UpdateConnectionStatus(bool playSound, std::optional<bool> machineOnline = std::nullopt) override;
  void UpdatePortStatus() override;
  void SetPortButtonEnabled(bool) override {}
  void ShowPortNumber() override {}
  void ListenFailed(int port, const std::string& reason) override;

 private:
  RunControl& run_;
  int printedPort_ = -1;
  int failedPort_ = -1;  // the port asked for, when listening on it failed
  std::string printedStatus_;
};

// "a\n\nb" as one line: "a  b".
std::string OneLine(const std::string& text);

}  // namespace ostrana::run
