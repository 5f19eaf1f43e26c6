// The terminal on POSIX: lines through libedit, with history.
#include <editline/readline.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "tools/Terminal.h"

namespace ostrana::tools {

std::optional<std::string> ReadLine(const char* prompt) {
  char* line = ::readline(prompt);
  if (!line) return std::nullopt;
  std::string text(line);
  std::free(line);
  if (!text.empty()) ::add_history(text.c_str());
  return text;
}

bool InputIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

void OnInterrupt(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;  // no SA_RESTART: a wait ends at once
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace ostrana::tools
