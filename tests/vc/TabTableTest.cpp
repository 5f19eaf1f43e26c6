#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/TestSupport.h"
#include "vc/TabTable.h"

using namespace ostrana::vc;

TEST(TabTable, ShippedTemplateHasEveryMailboxRow) {
  std::ifstream in(ostrana::test::TemplateFile());
  std::stringstream text;
  text << in.rdbuf();
  auto table = TabTable::Parse(text.str());
  ASSERT_TRUE(table);
  EXPECT_EQ(table->RowCount(), 1000u);
  EXPECT_EQ(table->Cell(0, "PARAM"), "0");
  EXPECT_EQ(table->Cell(999, "PARAM"), "0");
  EXPECT_FALSE(table->HasRow(1000));
}

TEST(TabTable, RoundTripKeepsValuesAndWidensColumns) {
  auto table = TabTable::Parse("BEGIN T.TAB MM\nNR  PARAM  NAME\n0   1.5    a\n7   -2\n[END]\n");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Cell(7, "PARAM"), "-2");
  EXPECT_EQ(table->Cell(7, "NAME"), "");
  ASSERT_TRUE(table->SetCell(0, "PARAM", FormatNumber(-1234567.0001220703)));
  auto again = TabTable::Parse(table->Serialize());
  ASSERT_TRUE(again);
  EXPECT_EQ(ParseNumber(*again->Cell(0, "PARAM")), -1234567.0001220703);
  EXPECT_EQ(again->Cell(0, "NAME"), "a");
  // Every row line has the same width: the format is fixed width.
  std::istringstream lines(again->Serialize());
  std::string begin, header, row0, row7;
  std::getline(lines, begin);
  std::getline(lines, header);
  std::getline(lines, row0);
  std::getline(lines, row7);
  EXPECT_EQ(header.size(), row0.size());
  EXPECT_EQ(row0.size(), row7.size());
}

TEST(TabTable, RefusesWhatIsNotATable) {
  EXPECT_FALSE(TabTable::Parse(""));
  EXPECT_FALSE(TabTable::Parse("NR PARAM\n0 1\n[END]\n"));            // no BEGIN
  EXPECT_FALSE(TabTable::Parse("BEGIN T.TAB\nNR PARAM\n0 1\n"));      // no [END]
  EXPECT_FALSE(TabTable::Parse("BEGIN T.TAB\nNR PARAM\nx 1\n[END]\n"));  // row without a number
  EXPECT_FALSE(TabTable::Parse("BEGIN T.TAB\nPARAM NR\n1 0\n[END]\n"));  // NR not first
}

TEST(TabTable, MissingRowsAndColumnsAreNotWritable) {
  auto table = TabTable::Parse("BEGIN T.TAB\nNR PARAM\n1  0\n[END]\n");
  ASSERT_TRUE(table);
  EXPECT_FALSE(table->SetCell(2, "PARAM", "1"));
  EXPECT_FALSE(table->SetCell(1, "OTHER", "1"));
  EXPECT_FALSE(table->SetCell(1, "NR", "5"));  // the row number is not a value
  EXPECT_FALSE(table->Cell(2, "PARAM"));
}

TEST(TabTable, NumbersReadBackExactly) {
  for (double v : {0.0, -1.0, 2.5, 12.0305, 1e-9, -2147483648.0, 0.1 + 0.2, 123456789.123456789})
    EXPECT_EQ(ParseNumber(FormatNumber(v)), v) << FormatNumber(v);
  EXPECT_EQ(FormatNumber(-0.0), "0");
  EXPECT_FALSE(ParseNumber("1.5x"));
  EXPECT_FALSE(ParseNumber("nan"));
  EXPECT_EQ(ParseNumber(" +3 "), 3.0);
}
