// The console of ostrana.exe, a window program: it has none of its own, so
// the Start menu opens the status window alone. Its lines (headless status
// and prompts, --help, the probe's report) go where its standard streams
// already point (a pipe or a file), else to the console of the command
// prompt that started it. A headless run or the probe started without a
// prompt gets a console of its own: shown when its lines have nowhere else to
// go, hidden when they do; either way Ctrl-C, Ctrl-Break and closing reach it.
// Called on the main thread, before anything is written.
#pragma once

namespace ostrana::win32 {

// First thing in main: join the starting prompt's console, if there is one.
void JoinParentConsole();

// For a run whose lines are all it shows: a console of its own when it has
// joined none. `asks`: it reads answers (and Enter) there, so the console is
// shown and carries all three streams whatever the ones it was started with.
void EnsureConsole(bool asks = false);

}  // namespace ostrana::win32
