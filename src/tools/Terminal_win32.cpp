// The terminal on Windows: lines from the console as they come.
#include <io.h>

#include <csignal>
#include <cstdio>

#include "tools/Terminal.h"

namespace ostrana::tools {

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

}  // namespace ostrana::tools
