#include "tools/Terminal.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#else
#include <editline/readline.h>
#include <unistd.h>
#endif

namespace ostrana::tools {

#ifdef _WIN32

std::optional<std::string> ReadLine(const char* prompt) {
  std::fputs(prompt, stdout);
  std::fflush(stdout);
  std::string line;
  for (int ch; (ch = std::fgetc(stdin)) != EOF;) {
    if (ch == '\n') return line;
    if (ch != '\r') line += static_cast<char>(ch);
  }
  if (line.empty()) return std::nullopt;
  return line;
}

bool InputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

void OnInterrupt(void (*handler)(int)) {
  std::signal(SIGINT, handler);
  std::signal(SIGTERM, handler);
}

#else

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

#endif

}  // namespace ostrana::tools
