// ostrana --dnc-probe: what a field engineer runs first beside a real
// control. Says where the component's class is registered (both registry
// views, this program's bitness), creates the component and, for each interface the connector
// uses, lists the members its type information describes and checks every
// member the connector calls against what the component publishes (name,
// DISPID, shape, order); given connection data, connects as the connector
// does (showing what setting the connection properties answered), checks
// the data access, the file system and a data entry of the exchange table,
// shows the machine's state and disconnects. Nothing is called on an
// object whose members did not pass. Main thread, COM entered.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace ostrana::comdnc {

// The probe's exit codes.
inline constexpr int kProbeAllChecked = 0;
inline constexpr int kProbeNotCreated = 1;      // the component cannot be created
inline constexpr int kProbeNotConnected = 2;    // no connection data, or the connection failed
inline constexpr int kProbeMismatch = 3;        // a name or shape does not match (the report names which)
inline constexpr int kProbeEntryUnchecked = 4;  // no data entry to check: is the table on the control?

// `machineText` is UTF-8 (as typed, or given on the command line), handed to
// the component as it was typed; `number` as the connector reads it.
int RunProbe(const std::string& machineText, std::int32_t number, std::FILE* out);

}  // namespace ostrana::comdnc
