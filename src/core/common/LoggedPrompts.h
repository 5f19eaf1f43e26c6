// Prompts that leave a line in the event log for every message, question
// (with its answer) and note, then show them through the prompts they wrap.
// Main thread only, as every Prompts.
#pragma once

#include "common/EventLog.h"
#include "common/Prompts.h"

namespace ostrana {

class LoggedPrompts final : public Prompts {
 public:
  explicit LoggedPrompts(Prompts& shown) : shown_(shown) {}
  void ShowMessage(const std::string& text, PromptIcon icon) override {
    Log(icon == PromptIcon::Exclamation ? LogLevel::Error : LogLevel::Warning, "message", text,
        LogEvent(EventId::OperatorMessage).Reason(text));
    shown_.ShowMessage(text, icon);
  }
  bool AskYesNo(const std::string& text) override {
    const bool yes = shown_.AskYesNo(text);
    Log(LogLevel::Warning, "question", text + " " + (yes ? "Yes" : "No"),
        LogEvent(EventId::OperatorQuestion).Values(yes ? "Yes" : "No").Reason(text));
    return yes;
  }
  void Note(const std::string& text) override {
    Log(LogLevel::Warning, "note", text, LogEvent(EventId::OperatorNote).Reason(text));
    shown_.Note(text);
  }

 private:
  Prompts& shown_;
};

}  // namespace ostrana
