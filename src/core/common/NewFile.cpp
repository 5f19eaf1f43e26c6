#include "common/NewFile.h"

#include <cstdio>
#include <random>

namespace ostrana {

std::string RandomName() {
  std::random_device random;
  char text[17];
  std::snprintf(text, sizeof text, "%08x%08x", static_cast<unsigned>(random()), static_cast<unsigned>(random()));
  return text;
}

}  // namespace ostrana
