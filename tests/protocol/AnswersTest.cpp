#include <gtest/gtest.h>

#include "protocol/Answers.h"

using namespace ostrana::protocol;

TEST(Decode, EveryAnswerThatCarriesNumbersAndNothingElseAndWellFormedReplies) {
  auto m = DecodeAnswer("Measure Data: 1,FA,C,5,3,3A98,FFFFFF9C,4E20,124F8,0,0,0,80000000\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(FormatDecoded(*m),
            "Measure Data: kind=1 detail=250 id=12 index=5 qualifier=3 value1=1.5000 value2=-0.0100 "
            "value3=2.0000 context=7.5000 attached1=0.0000 attached2=0.0000 attached3=0.0000 "
            "value0=-214748.3648");
  EXPECT_EQ(FormatDecoded(*DecodeAnswer("Device Data: 1,Machine Tool\n")), "Device Data: online=1 name=Machine Tool");
  EXPECT_EQ(FormatDecoded(*DecodeAnswer("Alarm Data: FFFFFFFE")),
            "Alarm Data: alarm=-2");  // (and others: the client tool's test)
  EXPECT_EQ(MeasureId("Measure Data: 1,FA,C,5,3,3A98,FFFFFF9C,4E20,124F8,0,0,0,0"), 12);
  // Other lines and broken answers are left alone.
  for (const char* line :
       {"No Measures!", "Unknown request!", "Connection Data: 1", "Command Data: Set WCS,1", "Measure Data: 1,2,3",
        "Measure Data: 1,FA,C,5,3,3A98,FFFFFF9C,4E20,124F8,0,0,0,0,0", "Alarm Data: fe", "Alarm Data: 123456789",
        "Buffer Data: 1,", "Device Data: x,Tool", "Device Data: 1", ""})
    EXPECT_FALSE(DecodeAnswer(line)) << line;
  EXPECT_FALSE(answer::ParseHex32(""));
  EXPECT_EQ(std::pair(answer::ParseHex32("7FFFFFFF"), answer::ParseHex32("80000000")),
            std::pair(std::optional<std::int32_t>(2147483647), std::optional<std::int32_t>(INT32_MIN)));
  // The oracle of the fuzzers and the abuse tests: whole lines of known answers only.
  EXPECT_TRUE(IsWellFormedReply("Device Data: 1,Machine Tool\nNo Measures!\nBuffer Data: 0,FFFFFFFF\n"));
  for (const char* broken : {"", "No Measures!", "No Measures!\n\n", "Polling Data: 2\n", "No Measures!\nHello\n",
                             "Alarm Data: 123456789\n"})
    EXPECT_FALSE(IsWellFormedReply(broken)) << broken;
}
