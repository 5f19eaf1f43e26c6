// This process and others, by number: for the temporary files that carry
// their writer's process id. Any thread.
#pragma once

#include <cstdint>

namespace ostrana {

std::uint32_t CurrentProcessId();
// Whether a process with this id runs now (one of another user counts).
bool ProcessAlive(std::uint32_t pid);

}  // namespace ostrana
