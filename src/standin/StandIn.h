// A stand-in for HEIDENHAIN's DNC component, for tests and development on
// Windows (and Wine) only, never installed: an in-process COM server under
// the component's CLSID whose objects answer IDispatch calls by the names
// the connector's name table uses, over the virtual control. Its type
// information (for ostrana --dnc-probe) lists the operations in slot order;
// the file system's third operation has a name of its own, so that the
// connector's lookup by slot is exercised.
//
// Threads: objects are created in the caller's apartment (ThreadingModel
// Both) and may be called from any thread, as the virtual control may.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "dnc/Dnc.h"

namespace ostrana::standin {

// The machine object over a machine of the virtual control's component.
IDispatch* MakeMachine(dnc::ComPtr<dnc::IMachine> machine);

}  // namespace ostrana::standin
