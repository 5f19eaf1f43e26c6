#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mailbox/MailboxLayout.h"

using namespace ostrana;
using namespace ostrana::mailbox;

TEST(Readings, NudgeAwayFromZeroThenTruncate) {
  EXPECT_EQ(IntegerReading(2.9999999999), 3);
  EXPECT_EQ(IntegerReading(-2.0), -2);
  EXPECT_EQ(IntegerReading(-2.9999999999), -3);
  EXPECT_EQ(IntegerReading(0.5), 0);
  EXPECT_EQ(IntegerReading(1e12), std::numeric_limits<std::int32_t>::min());  // no undefined behaviour
  EXPECT_EQ(IntegerReading(std::nan("")), std::numeric_limits<std::int32_t>::min());
}

TEST(Encodings, TypeRow) {
  EXPECT_EQ(DecodeTypeRow(1.25).kind, 1);
  EXPECT_EQ(DecodeTypeRow(1.25).detail, 250);
  EXPECT_EQ(DecodeTypeRow(0.9999999999).kind, 1);
  EXPECT_EQ(DecodeTypeRow(0.9999999999).detail, 0);
  EXPECT_EQ(DecodeTypeRow(-1.5).kind, -1);
  EXPECT_EQ(DecodeTypeRow(-1.5).detail, -500);
  EXPECT_EQ(DecodeTypeRow(2.007).detail, 7);  // 2.007 is stored as 2.00699999...
}

TEST(Encodings, IdentityRowAndAttachmentTag) {
  const IdentityRow r = DecodeIdentityRow(12.0305);
  EXPECT_EQ(r.id, 12);
  EXPECT_EQ(r.index, 5);
  EXPECT_EQ(r.qualifier, 3);
  EXPECT_TRUE(TagMatches(12.0005, 12, 5));
  EXPECT_FALSE(TagMatches(12.0305, 12, 5));
  EXPECT_FALSE(TagMatches(13.0005, 12, 5));
  EXPECT_FALSE(TagMatches(0.0, 12, 5));
  EXPECT_TRUE(TagMatches(0.0, 0, 0));  // a cleared tag names record 0.00
}

TEST(Encodings, TimeOfDay) {
  EXPECT_EQ(HhmmssToSeconds(RealReading(203.7)), 123.0);
  EXPECT_EQ(HhmmssToSeconds(RealReading(235959)), 86399.0);
  EXPECT_EQ(HhmmssToSeconds(RealReading(100000)), 36000.0);
}

TEST(Ring, PendingCountsAtTheEdges) {
  EXPECT_EQ(PendingCount(4, 0, 4), 0);
  EXPECT_EQ(PendingCount(2, 2, 4), 4);
  EXPECT_EQ(PendingCount(0, 3, 4), 2);
  EXPECT_EQ(PendingCount(3, 4, 4), 0);
  EXPECT_EQ(PendingCount(4, 3, 4), 3);
  EXPECT_EQ(PendingCount(0, 0, 0), 0);  // one slot: never anything pending
  EXPECT_EQ(NextSlot(4, 4), 0);
  EXPECT_EQ(NextSlot(2, 4), 3);
  EXPECT_FALSE(SlotInRange(5, 4));
  EXPECT_FALSE(SlotInRange(-1, 4));
  EXPECT_EQ(SlotRowOffset(0, 0), 20);
  EXPECT_EQ(SlotRowOffset(4, 5), 49);
}
