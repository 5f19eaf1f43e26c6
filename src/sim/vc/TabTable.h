// A freely definable table in the control's .TAB text format:
//   BEGIN NAME.TAB MM
//   NR     PARAM
//   0      0
//   ...
//   [END]
// Columns are fixed width: a column begins where its name begins in the header
// line and runs to the next name (the last one to the header's end). Widths
// never change: a value that does not fit its column is refused. Cells are kept as text, as on the control.
// Plain value type; not thread-safe on its own (the virtual control locks).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ostrana::vc {

class TabTable {
 public:
  // Parses the text of a .TAB file; nullopt (with a reason) when it is not one.
  static std::optional<TabTable> Parse(const std::string& text, std::string* error = nullptr);

  std::string Serialize() const;

  const std::vector<std::string>& Columns() const { return columns_; }
  std::size_t RowCount() const { return rows_.size(); }
  bool HasRow(std::int64_t nr) const { return index_.count(nr) != 0; }
  bool HasColumn(const std::string& column) const { return ColumnIndex(column) >= 0; }

  // The cell text of row NR in a column; nullopt when row or column is missing.
  std::optional<std::string> Cell(std::int64_t nr, const std::string& column) const;
  // False when row or column is missing, or the text does not fit the column.
  bool SetCell(std::int64_t nr, const std::string& column, const std::string& text);
  // The longest value a column takes.
  std::size_t ValueWidth(std::size_t column) const;

 private:
  int ColumnIndex(const std::string& column) const;
  void Reindex();

  std::string beginLine_;
  std::vector<std::string> columns_;
  std::vector<std::size_t> widths_;  // from the header line, fixed
  std::vector<std::vector<std::string>> rows_;
  std::unordered_map<std::int64_t, std::size_t> index_;  // NR -> row position
};

// Shortest text that reads back as exactly the same double ("-1", "2.5", "12.0305").
std::string FormatNumber(double value);
// Reads a whole text as a number; nullopt when it is not one.
std::optional<double> ParseNumber(const std::string& text);

}  // namespace ostrana::vc
