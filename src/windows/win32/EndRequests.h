// How Windows asks ostrana.exe to end, and the time it gives for it. Every
// request asks the run to end in order (kQuitMessage to the run's message
// window: the same end as Ctrl-C). Ctrl-C and Ctrl-Break then return at once.
// Closing the console, logging off and shutting down end the process as soon
// as the request returns (or after about five seconds): those wait, at most
// 4.5 s, until the run says it has ended (settings stored, the worker
// stopped, the log closed). A program with windows hears of a logoff or a
// shutdown as WM_QUERYENDSESSION and WM_ENDSESSION to its top-level windows
// rather than as a console event, and the main thread, which has to end the
// run, cannot wait inside one of its own windows: so a hidden top-level
// window on a thread of its own hears them, and waits the same way. A close
// request to that window (taskkill) asks the run to end, as Ctrl-C does.
//
// Threads: EndRequestsTo and RunEnded on the main thread; the console's
// handler and the hidden window run on threads of their own.
#pragma once

#include <windows.h>

namespace ostrana::win32 {

// From now on the requests go to `window` (kQuitMessage); null while the
// run is ending, when they only wait. The first call starts listening, for
// the rest of the process.
void EndRequestsTo(HWND window);

// The run has ended in order: nothing is left to lose, a waiting request returns.
void RunEnded();

}  // namespace ostrana::win32
