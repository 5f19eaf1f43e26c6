#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "protocol/ArgumentParsers.h"

using namespace ostrana::protocol;

namespace {
std::optional<std::array<double, 6>> Wcs(const std::string& text, bool terminated = true) {
  return ParseWcsFields(Argument{text, terminated});
}
}  // namespace

// Well-formed data is stored as given, with lenient decimals read like atoi.
// Refused for its reason: another type; type 4 with fewer than four fields
// (the base row taken from the wrong field would place commands in unrelated
// rows); a base row without digits (read as row 0) or below zero (before the
// table): either places the mailbox on rows the NC program does not own.
TEST(ConnectionData, StoredAsGivenOrRefusedForItsReason) {
  const std::pair<const char*, std::tuple<std::string, int, int>> cases[] = {
      {"4,host,1,100", {"host", 1, 100}},
      {" 4, my host ,  -7,100\r", {" my host ", -7, 100}},
      {"4,,x,200,extra", {"", 0, 200}},  // lenient decimals; the base row runs to the end
  };
  for (const auto& [text, stored] : cases) {
    const auto p = ParseConnectionFields(text);
    EXPECT_EQ(p.refusal, ConnectionRefusal::None) << text;
    EXPECT_EQ(std::tuple(p.data.connectionText, p.data.connectionNumber, p.data.baseRow), stored) << text;
  }
  const std::pair<ConnectionRefusal, std::vector<const char*>> refusals[] = {
      {ConnectionRefusal::UnsupportedType, {"3,host,1,100", "", "x,host,1,100", ",host,1,100", "40,host,1,100"}},
      {ConnectionRefusal::Incomplete, {"4,host,1", "4,host", "4", "4,"}},
      {ConnectionRefusal::BadBaseRow, {"4,host,1,abc", "4,host,1,", "4,host,1,-1", "4,host,1, -", "4,host,1,\r"}},
  };
  for (const auto& [refusal, texts] : refusals)
    for (const char* text : texts) EXPECT_EQ(ParseConnectionFields(text).refusal, refusal) << text;
  EXPECT_EQ(ParseConnectionFields("4,host,1, +0x").data.baseRow, 0);
  const std::pair<const char*, int> decimals[] = {
      {"  +12abc", 12}, {"-0", 0}, {"abc", 0}, {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN}};
  for (const auto& [text, value] : decimals) EXPECT_EQ(ReadDecimal(text), value) << text;
  // The probe's text and number, as a request would carry them, or refused where none could.
  for (const auto& [number, read] : {std::pair{"+1", 1}, {" 1", 1}, {"99999999999", INT_MAX}, {"abc", 0}})
    EXPECT_EQ(ConnectionAsRequested("Maschine-\xC3\x9C", number).value_or(ConnectionData{"", -1, 0}).connectionNumber,
              read)
        << number;
  for (const auto& [text, number] : {std::pair{"a,b", "1"}, {"a", "1,2"}, {"a\n", "1"}})
    EXPECT_FALSE(ConnectionAsRequested(text, number)) << text << " " << number;
}

TEST(WcsData, SixStrictHexFieldsInStepsOfOneTenThousandth) {
  EXPECT_EQ(Wcs("186A0,0,FFFE7960,0,0,0"), (std::array<double, 6>{10.0, 0.0, -10.0, 0.0, 0.0, 0.0}));
  // Empty fields count as 0.
  EXPECT_EQ(Wcs("FFFFFFFF,7FFFFFFF,80000000,,,"),
            (std::array<double, 6>{-0.0001, 2147483647 / 10000.0, -2147483648 / 10000.0, 0.0, 0.0, 0.0}));
  // Strict fields (upper-case hex, at most eight digits, no sign, no blank, a
  // carriage return ends the last field) or the request is refused whole; so
  // is one cut off before its line feed, or with another number of fields:
  // either would have sent made-up coordinates to the machine.
  for (const std::string& text :
       {std::string("ff,0,0,0,0,0"), std::string("1,2,3,4,5,6\r"), std::string("000000001,0,0,0,0,0"),
        std::string("-1,0,0,0,0,0"), std::string(" 1,0,0,0,0,0"), std::string("1\0,0,0,0,0,0", 12), std::string(),
        std::string("A,B"), std::string("A"), std::string("1,2,3,4,5,6,7")})
    EXPECT_FALSE(Wcs(text)) << text;
  EXPECT_FALSE(Wcs("1,2,3,4,5,6", /*terminated=*/false));
  EXPECT_EQ(Wcs(",,,,,"), (std::array<double, 6>{}));
}
