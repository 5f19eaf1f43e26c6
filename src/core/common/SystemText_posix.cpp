#include <cstring>

#include "common/SystemText.h"

namespace ostrana {

std::string SystemText(unsigned long code) { return std::strerror(static_cast<int>(code)); }

}  // namespace ostrana
