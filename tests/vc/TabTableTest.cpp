#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "vc/TabTable.h"

using namespace ostrana::vc;

// Widths come from the header and never change: a value that does not fit
// is refused, and a long value read from a hand-edited file stays in its line.
// Missing rows and columns are not writable. Refused whole: empty, no BEGIN,
// no [END], a row without a number, NR not first, a row number wider than its
// column.
TEST(TabTable, RoundTripKeepsTheHeaderWidthsAndWhatIsNotATableIsRefused) {
  const std::string text = "BEGIN T.TAB MM\nNR  PARAM  NAME\n0   1.5    a\n7   -2\n8   0      a-long-name\n[END]\n";
  auto table = TabTable::Parse(text);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Cell(7, "NAME"), "");
  // Saved by a Windows editor, a tab typed for a blank: read as blanks.
  const auto edited = TabTable::Parse("BEGIN T.TAB MM\r\nNR\t PARAM\r\n1\t  5\r\n[END]\r\n");
  ASSERT_TRUE(edited);
  EXPECT_EQ(edited->Cell(1, "PARAM"), "5");
  EXPECT_TRUE(table->SetCell(0, "PARAM", "-2.125"));
  EXPECT_FALSE(table->SetCell(0, "PARAM", "-2.1251"));  // seven characters: no blank before NAME
  EXPECT_FALSE(table->SetCell(0, "NAME", "abcde"));
  for (const auto& [row, column] : {std::pair{2, "PARAM"}, {7, "OTHER"}, {7, "NR"}})  // NR is not a value
    EXPECT_FALSE(table->SetCell(row, column, "1")) << row << column;
  EXPECT_FALSE(table->Cell(2, "PARAM"));
  EXPECT_EQ(table->Serialize(),
            "BEGIN T.TAB MM\nNR  PARAM  NAME\n0   -2.125 a   \n7   -2         \n8   0      a-long-name\n[END]\n");
  for (const char* broken :
       {"", "NR PARAM\n0 1\n[END]\n", "BEGIN T.TAB\nNR PARAM\n0 1\n", "BEGIN T.TAB\nNR PARAM\nx 1\n[END]\n",
        "BEGIN T.TAB\nPARAM NR\n1 0\n[END]\n", "BEGIN T.TAB\nNR PARAM\n1234 5\n[END]\n"})
    EXPECT_FALSE(TabTable::Parse(broken)) << broken;
}

TEST(TabTable, NumbersReadBackExactly) {
  for (double v : {0.0, -1.0, 2.5, 12.0305, 1e-9, -2147483648.0, 0.1 + 0.2, 123456789.123456789})
    EXPECT_EQ(ParseNumber(FormatNumber(v)), v) << FormatNumber(v);
  EXPECT_EQ(FormatNumber(-0.0), "0");
  for (const char* text : {"1.5x", "nan"}) EXPECT_FALSE(ParseNumber(text)) << text;
  EXPECT_EQ(ParseNumber(" +3 "), 3.0);
}
