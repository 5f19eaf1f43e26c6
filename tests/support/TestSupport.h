// Shared test helpers: a scripted Prompts double that records every text,
// temporary folders, and a virtual control with its table already in place.
#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/Prompts.h"

namespace ostrana::test {

class ScriptedPrompts final : public Prompts {
 public:
  struct Shown {
    std::string text;
    PromptIcon icon;
  };
  void ShowMessage(const std::string& text, PromptIcon icon) override { messages.push_back({text, icon}); }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    if (answers.empty()) return true;
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void Note(const std::string& text) override { notes.push_back(text); }
  std::vector<Shown> messages;
  std::vector<std::string> notes;
  std::vector<std::string> questions;
  std::deque<bool> answers;  // answers to come; Yes when empty
};

// A fresh folder, removed at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// A whole file's bytes ("" when it cannot be read).
std::string ReadText(const std::filesystem::path& file);

// The table template as shipped, from the source tree.
std::filesystem::path TemplateFile();

// Polls `condition` every 5 ms for up to `limit`; true once it holds.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

}  // namespace ostrana::test
