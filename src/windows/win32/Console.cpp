#include "win32/Console.h"

#include <windows.h>

#include <cstdio>
#include <utility>

namespace ostrana::win32 {

namespace {

// A standard handle already leading somewhere (a pipe, a file, a console).
bool Leads(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

struct Streams {
  bool in, out, err;  // led somewhere at start, so kept as they are
};

Streams& AtStart() {
  static Streams streams{Leads(STD_INPUT_HANDLE), Leads(STD_OUTPUT_HANDLE), Leads(STD_ERROR_HANDLE)};
  return streams;
}

bool hasConsole = false;

// The C streams were set up at start from the handles then: point the ones
// that led nowhere at the console now joined.
void ReopenOnConsole() {
  const Streams& start = AtStart();
  if (!start.in) std::freopen("CONIN$", "r", stdin);
  for (auto [kept, stream] : {std::pair{start.out, stdout}, std::pair{start.err, stderr}}) {
    if (kept) continue;
    if (FILE* reopened = std::freopen("CONOUT$", "w", stream)) std::setvbuf(reopened, nullptr, _IONBF, 0);
  }
  hasConsole = true;
}

}  // namespace

void JoinParentConsole() {
  AtStart();  // before attaching changes the handles
  if (AttachConsole(ATTACH_PARENT_PROCESS)) ReopenOnConsole();
}

void EnsureConsole(bool asks) {
  if (hasConsole || !AllocConsole()) return;
  // A run that asks at the console (the Start menu's probe) talks on its own
  // console even when a launcher handed it streams that lead to no one (Wine
  // started from a desktop entry hands over its own).
  if (asks) AtStart() = {false, false, false};
  if (AtStart().out) ShowWindow(GetConsoleWindow(), SW_HIDE);  // the lines go elsewhere
  ReopenOnConsole();
}

}  // namespace ostrana::win32
