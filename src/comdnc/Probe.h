// ostrana --dnc-probe: what a field engineer runs first beside a real
// control. Creates the DNC component, shows for each of its interfaces
// whether it is dual and every operation its type information lists (name,
// parameters, vtable slot), checks each name of the connector's name table
// against it, and, given connection data, connects, shows the machine's
// state and disconnects. Main thread, COM entered.
#pragma once

#include <cstdio>
#include <string>

#include "comdnc/DispatchNames.h"

namespace ostrana::comdnc {

// Returns the process's exit code: 0 when the component was created and
// every name resolved (and, with connection data, the connection was made);
// 1 when the component cannot be created; 3 when something is missing.
int RunProbe(const DispatchNames& names, const std::string& machineText, const std::string& number,
             std::FILE* out);

}  // namespace ostrana::comdnc
