// The DNC component's machine states, as its state query answers them, and
// their names for messages. Constant data; any thread.
#pragma once

#include <cstdint>

namespace ostrana::dnc {

inline constexpr std::int32_t kStateMachineAvailable = 7;

// The name of a machine state for messages; empty for unknown codes.
inline const char* MachineStateName(std::int32_t state) {
  static const char* const kNames[] = {
      "DNC_STATE_NOT_INITIALIZED",         "DNC_STATE_HOST_IS_NOT_AVAILABLE", "DNC_STATE_HOST_IS_AVAILABLE",
      "DNC_STATE_WAITING_PERMISSION",      "DNC_STATE_DNC_IS_AVAILABLE",      "DNC_STATE_MACHINE_IS_BOOTED",
      "DNC_STATE_MACHINE_IS_INITIALIZING", "DNC_STATE_MACHINE_IS_AVAILABLE",  "DNC_STATE_MACHINE_IS_SHUTTING_DOWN",
      "DNC_STATE_DNC_IS_STOPPED",          "DNC_STATE_HOST_IS_STOPPED",       "DNC_STATE_NO_PERMISSION",
  };
  return state >= 0 && state < static_cast<std::int32_t>(sizeof kNames / sizeof *kNames) ? kNames[state] : "";
}

}  // namespace ostrana::dnc
