// This process, by number: for the names and lock files that say which run
// they belong to. Any thread.
#pragma once

#include <cstdint>

namespace ostrana {

std::uint32_t CurrentProcessId();

}  // namespace ostrana
