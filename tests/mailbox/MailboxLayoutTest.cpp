#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "mailbox/MailboxLayout.h"

using namespace ostrana;
using namespace ostrana::mailbox;

// Readings: out of range or not a number reads as the lowest integer (no
// undefined behaviour). Then the type row, the identity row, the attachment tag.
TEST(Encodings, ReadingsTheRowsOfARecordAndTheRing) {
  const std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  const std::pair<double, std::int32_t> readings[] = {{2.9999999999, 3}, {-2.0, -2},     {-2.9999999999, -3},
                                                      {0.5, 0},          {1e12, lowest}, {std::nan(""), lowest}};
  for (const auto& [value, reading] : readings) EXPECT_EQ(IntegerReading(value), reading) << value;
  const std::pair<double, std::pair<int, int>> rows[] = {
      {1.25, {1, 250}}, {0.9999999999, {1, 0}}, {-1.5, {-1, -500}}, {2.007, {2, 7}}};  // 2.007 is 2.00699999...
  for (const auto& [value, decoded] : rows)
    EXPECT_EQ(std::pair(DecodeTypeRow(value).kind, DecodeTypeRow(value).detail), decoded) << value;

  const IdentityRow r = DecodeIdentityRow(12.0305);
  EXPECT_EQ(std::tuple(r.id, r.index, r.qualifier), std::tuple(12, 5, 3));
  // A cleared tag names record 0.00.
  EXPECT_EQ(std::vector<bool>({TagMatches(12.0005, 12, 5), TagMatches(12.0305, 12, 5), TagMatches(13.0005, 12, 5),
                               TagMatches(0.0, 12, 5), TagMatches(0.0, 0, 0)}),
            std::vector<bool>({true, false, false, false, true}));
  EXPECT_EQ(HhmmssToSeconds(RealReading(235959)), 86399.0);
  // The ring: (read slot, write slot, last slot) and what is pending; one slot: never anything.
  const std::pair<std::array<int, 3>, int> rings[] = {{{4, 0, 4}, 0}, {{2, 2, 4}, 4}, {{0, 3, 4}, 2},
                                                      {{3, 4, 4}, 0}, {{4, 3, 4}, 3}, {{0, 0, 0}, 0}};
  for (const auto& [ring, pending] : rings) EXPECT_EQ(PendingCount(ring[0], ring[1], ring[2]), pending) << ring[0];
  EXPECT_EQ(std::tuple(NextSlot(4, 4), NextSlot(2, 4), SlotInRange(5, 4), SlotInRange(-1, 4), SlotInRange(4, 4),
                       SlotRowOffset(0, 0), SlotRowOffset(4, 5)),
            std::tuple(0, 3, false, false, true, std::int64_t{20}, std::int64_t{49}));
}
