// How a mailbox cell's real value is taken. Each value is nudged by 1e-8 away
// from zero first, so that a value the other side wrote as 3 but that the
// control stores as 2.9999999999 still reads as 3, and the later scaling by
// 10000 yields the digits that were written. Pure functions.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace ostrana {

// Truncation toward zero to a signed 32-bit integer. A value that is not a
// number or does not fit yields the most negative 32-bit integer, the pattern
// the processor's own conversion gives, never undefined behaviour.
inline std::int32_t TruncToInt32(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(x);
}

inline double RealReading(double x) { return x >= 0 ? x + 1e-8 : x - 1e-8; }
inline std::int32_t IntegerReading(double x) { return TruncToInt32(RealReading(x)); }

}  // namespace ostrana
