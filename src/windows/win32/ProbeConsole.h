// The probe as ostrana.exe runs it (--dnc-probe, and the Start menu's
// --dnc-probe-console): the connection data from the command line or asked
// for at the console, taken as a client's "Machine Connect" would hand it
// over; the report on the console and kept as dnc-probe.txt beside the
// default event log, written whole through a temporary file of the program's
// own pattern; the console told where it went or why it could not be kept.
// Main thread, COM entered.
#pragma once

#include "run/CommandLine.h"

namespace ostrana::win32 {

// The probe's exit code (comdnc/Probe.h).
int RunProbeConsole(run::Options options);

}  // namespace ostrana::win32
