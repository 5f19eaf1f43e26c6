// Chooses and builds the machine side of a run from its options: the virtual
// control over a TNC drive folder (its drive lock taken, the temporaries a
// broken run left removed, the NC console started when asked for), the DNC
// component a shell makes, or none. The core only holds what is built here.
//
// Main thread only.
#pragma once

#include <functional>
#include <memory>

#include "dnc/Dnc.h"
#include "run/Startup.h"

namespace ostrana::backend {

// Makes the DNC component's backend (Windows); empty where there is none.
using DncFactory = std::function<std::unique_ptr<dnc::IComponent>()>;

// The set-up a run's Prepare calls. It says on stdout what the machine is;
// it fails (the reason said) when the NC console cannot listen or the TNC
// drive's lock (".ostrana.lock" inside the folder) cannot be had: another
// connector holds it, or the file cannot be made or locked. A drive folder
// where no other file can be made is said, and the run goes on.
run::MachineSetUp SetUpMachine(DncFactory dnc = {});

}  // namespace ostrana::backend
