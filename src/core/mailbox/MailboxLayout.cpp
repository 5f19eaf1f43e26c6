#include "mailbox/MailboxLayout.h"

#include <cstdio>

namespace ostrana::mailbox {

std::string CellPath(std::int32_t row) {
  char path[128];
  std::snprintf(path, sizeof path, kCellPathFormat, static_cast<int>(row));
  return path;
}

TypeRow DecodeTypeRow(double cell) {
  const std::int32_t t = TruncToInt32(RealReading(cell) * 1000.0);
  return {t / 1000, t % 1000};
}

IdentityRow DecodeIdentityRow(double cell) {
  const double real = RealReading(cell);
  const std::int32_t w = TruncToInt32(real * 10000.0);
  return {w / 10000, w % 100, TruncToInt32(real * 10000.0 / 100.0) % 100};
}

bool TagMatches(double tagCell, std::int32_t id, std::int32_t index) {
  const std::int32_t p = TruncToInt32(RealReading(tagCell) * 10000.0);
  return p / 10000 == id && p % 10000 == index;
}

double HhmmssToSeconds(double value) {
  const std::int32_t m = TruncToInt32(value);
  return 3600.0 * (m / 10000) + 60.0 * ((m % 10000) / 100) + (m % 100);
}

}  // namespace ostrana::mailbox
