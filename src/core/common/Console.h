// The program's lines on stdout and stderr (headless status, prompts as
// lines, notes, the event log's mirror), written by a thread of their own:
// a terminal or pipe that nobody reads may stop that thread, never the
// caller. Past a bound the lines are dropped and counted, and the count is
// written when writing goes on. The inherited descriptors are written as
// they are (never made non-blocking: another process may share them).
//
// Threads: any thread may call Out and Err; Drain is for the end of a run.
#pragma once

#include <chrono>
#include <string>

namespace ostrana::console {

// One line (without its line feed) for stdout, or for stderr.
void Out(const std::string& line);
void Err(const std::string& line);
// A line for stderr already made printable (the event log's mirror): escaped
// once, so that its backslashes read as they do in the file.
void ErrPrintable(const std::string& line);
// Waits until what was handed over is written, at most `bound`; false when
// the console still holds lines (nobody reads them): the run ends anyway.
bool Drain(std::chrono::milliseconds bound);
// How many lines were dropped because the console did not take them.
unsigned long Dropped();
// At most this many lines wait; more are dropped and counted.
inline constexpr unsigned long kQueuedLines = 2000;

}  // namespace ostrana::console
