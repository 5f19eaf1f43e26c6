// What ostrana-client needs of the terminal, on each platform: a line editor
// with history where there is one (libedit on Linux, the console's own on
// Windows), whether stdin is a terminal, and Ctrl-C. Main thread only.
#pragma once

#include <optional>
#include <string>

namespace ostrana::tools {

// One line typed at `prompt`, without its line end; nothing at the end of input.
std::optional<std::string> ReadLine(const char* prompt);
bool InputIsTerminal();
// Calls `handler` on Ctrl-C (and SIGTERM on Linux); a wait in progress ends
// at once instead of being resumed.
void OnInterrupt(void (*handler)(int));

}  // namespace ostrana::tools
