#include <gtest/gtest.h>

#include <climits>

#include "protocol/ArgumentParsers.h"

using namespace ostrana::protocol;

namespace {
std::optional<std::array<double, 6>> Wcs(const std::string& text, bool terminated = true) {
  return ParseWcsFields(Argument{text, terminated});
}
}  // namespace

TEST(ConnectionData, WellFormedDataIsStoredAsGiven) {
  auto p = ParseConnectionFields("4,host,1,100");
  ASSERT_EQ(p.refusal, ConnectionRefusal::None);
  EXPECT_EQ(p.data.connectionText, "host");
  EXPECT_EQ(p.data.connectionNumber, 1);
  EXPECT_EQ(p.data.baseRow, 100);
  p = ParseConnectionFields(" 4, my host ,  -7,100\r");
  ASSERT_EQ(p.refusal, ConnectionRefusal::None);
  EXPECT_EQ(p.data.connectionText, " my host ");
  EXPECT_EQ(p.data.connectionNumber, -7);
  EXPECT_EQ(p.data.baseRow, 100);
  p = ParseConnectionFields("4,,x,200,extra");  // lenient decimals; the base row runs to the end
  ASSERT_EQ(p.refusal, ConnectionRefusal::None);
  EXPECT_EQ(p.data.connectionText, "");
  EXPECT_EQ(p.data.connectionNumber, 0);
  EXPECT_EQ(p.data.baseRow, 200);
}

TEST(ConnectionData, OtherTypesAreUnsupported) {
  for (const char* text : {"3,host,1,100", "", "x,host,1,100", ",host,1,100", "40,host,1,100"})
    EXPECT_EQ(ParseConnectionFields(text).refusal, ConnectionRefusal::UnsupportedType) << text;
}

// Type 4 with fewer than four fields would take the base row from the wrong
// field and place commands in unrelated rows: refused.
TEST(ConnectionData, IncompleteDataIsRefused) {
  for (const char* text : {"4,host,1", "4,host", "4", "4,"})
    EXPECT_EQ(ParseConnectionFields(text).refusal, ConnectionRefusal::Incomplete) << text;
}

// A base row without digits would read as row 0, a negative one lies before
// the table: either places the mailbox on rows the NC program does not own.
TEST(ConnectionData, ABaseRowWithoutDigitsOrBelowZeroIsRefused) {
  for (const char* text : {"4,host,1,abc", "4,host,1,", "4,host,1,-1", "4,host,1, -", "4,host,1,\r"})
    EXPECT_EQ(ParseConnectionFields(text).refusal, ConnectionRefusal::BadBaseRow) << text;
  EXPECT_EQ(ParseConnectionFields("4,host,1, +0x").data.baseRow, 0);
}

TEST(ConnectionData, DecimalsReadLikeAtoi) {
  EXPECT_EQ(ReadDecimal("  +12abc"), 12);
  EXPECT_EQ(ReadDecimal("-0"), 0);
  EXPECT_EQ(ReadDecimal("abc"), 0);
  EXPECT_EQ(ReadDecimal("99999999999999999999"), INT_MAX);
  EXPECT_EQ(ReadDecimal("-99999999999999999999"), INT_MIN);
  EXPECT_EQ(Cut("abc", -5, 2), "ab");
  EXPECT_EQ(Cut("abc", 2, 1), "");
  EXPECT_EQ(Cut("abc", 1, 99), "bc");
  EXPECT_EQ(Cut("abc", 3, 5), "");
}

TEST(WcsData, SixHexFieldsInStepsOfOneTenThousandth) {
  auto v = Wcs("186A0,0,FFFE7960,0,0,0");
  ASSERT_TRUE(v);
  EXPECT_EQ(*v, (std::array<double, 6>{10.0, 0.0, -10.0, 0.0, 0.0, 0.0}));
  v = Wcs("FFFFFFFF,7FFFFFFF,80000000,,,");
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)[0], -0.0001);
  EXPECT_EQ((*v)[1], 2147483647 / 10000.0);
  EXPECT_LT((*v)[2], 0);
  EXPECT_EQ((*v)[3], 0.0);  // empty fields count as 0
}

TEST(WcsData, StrictFieldsAreRefusedWhole) {
  EXPECT_FALSE(Wcs("ff,0,0,0,0,0"));            // lower case
  EXPECT_FALSE(Wcs("1,2,3,4,5,6\r"));           // a carriage return ends the last field
  EXPECT_FALSE(Wcs("000000001,0,0,0,0,0"));     // nine digits, even with leading zeros
  EXPECT_FALSE(Wcs("-1,0,0,0,0,0"));            // no sign
  EXPECT_FALSE(Wcs(" 1,0,0,0,0,0"));            // no blank
  EXPECT_FALSE(Wcs(std::string("1\0,0,0,0,0,0", 12)));
}

// A request cut off before its line feed, or with another number of fields,
// would have sent made-up coordinates to the machine: refused.
TEST(WcsData, OnlySixTerminatedFieldsReachTheMachine) {
  EXPECT_FALSE(Wcs("1,2,3,4,5,6", /*terminated=*/false));
  EXPECT_FALSE(Wcs(""));
  EXPECT_FALSE(Wcs("A,B"));
  EXPECT_FALSE(Wcs("A"));
  EXPECT_FALSE(Wcs("1,2,3,4,5,6,7"));
  EXPECT_TRUE(Wcs(",,,,,"));
}
