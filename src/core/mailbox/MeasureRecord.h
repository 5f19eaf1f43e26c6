// One event record taken from the mailbox ring, as the client receives it.
// A plain value: copied into and out of the measure queue.
#pragma once

#include <cstdint>

namespace ostrana::mailbox {

struct MeasureRecord {
  std::int32_t kind = 0;
  std::int32_t detail = 0;
  std::int32_t id = 0;
  std::int32_t index = 0;
  std::int32_t qualifier = 0;
  double value1 = 0.0;
  double value2 = 0.0;
  double value3 = 0.0;
  double context = 0.0;
  double attached1 = 0.0;
  double attached2 = 0.0;
  double attached3 = 0.0;
  double value0 = 0.0;

  bool operator==(const MeasureRecord&) const = default;
};

}  // namespace ostrana::mailbox
