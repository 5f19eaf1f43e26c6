#include "vc/TabTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace ostrana::vc {
namespace {

std::string Trim(const std::string& s) {
  const auto begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  const auto end = s.find_last_not_of(" \t");
  return s.substr(begin, end - begin + 1);
}

std::optional<std::int64_t> ParseNr(const std::string& text) {
  std::int64_t value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || text.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::string FormatNumber(double value) {
  if (value == 0.0) return "0";  // also for -0.0: a cell holds no sign of zero
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "0";
  return std::string(buffer, ptr);
}

std::optional<double> ParseNumber(const std::string& raw) {
  std::string text = Trim(raw);
  if (text.empty()) return std::nullopt;
  if (text[0] == '+') text.erase(0, 1);
  double value = 0.0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<TabTable> TabTable::Parse(const std::string& text, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<TabTable> {
    if (error) *error = why;
    return std::nullopt;
  };
  std::vector<std::string> lines;
  {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      // Line ends from either world; other carriage returns and tabs count as blanks.
      if (!line.empty() && line.back() == '\r') line.pop_back();
      for (char& ch : line)
        if (ch == '\r' || ch == '\t') ch = ' ';
      lines.push_back(line);
    }
  }
  if (lines.empty()) return fail("the file is empty");
  if (lines[0].rfind("BEGIN", 0) != 0) return fail("no BEGIN line");
  if (lines.size() < 2) return fail("no header line");

  TabTable table;
  table.beginLine_ = lines[0];
  // Column starts come from the header line.
  const std::string& header = lines[1];
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i] != ' ' && (i == 0 || header[i - 1] == ' ')) {
      starts.push_back(i);
      const auto end = header.find(' ', i);
      table.columns_.push_back(header.substr(i, end == std::string::npos ? std::string::npos : end - i));
    }
  }
  if (table.columns_.empty()) return fail("no columns");
  if (table.columns_[0] != "NR") return fail("first column is not NR");
  // Each column is as wide as the header shows it, as on the control: from
  // the start of its name to the start of the next one; the last one to the
  // end of the header line.
  for (std::size_t c = 0; c < starts.size(); ++c)
    table.widths_.push_back((c + 1 < starts.size() ? starts[c + 1] : header.size()) - starts[c]);

  bool ended = false;
  for (std::size_t li = 2; li < lines.size(); ++li) {
    const std::string& line = lines[li];
    if (Trim(line) == "[END]") {
      ended = true;
      break;
    }
    if (Trim(line).empty()) continue;
    std::vector<std::string> cells(table.columns_.size());
    for (std::size_t c = 0; c < starts.size(); ++c) {
      if (starts[c] >= line.size()) break;
      const std::size_t end = c + 1 < starts.size() ? starts[c + 1] : std::string::npos;
      // A value that runs into the next column is not two cells: the line is damaged.
      if (end != std::string::npos && end <= line.size() && line[end - 1] != ' ')
        return fail("line " + std::to_string(li + 1) + " has a value wider than its column " + table.columns_[c]);
      cells[c] = Trim(line.substr(starts[c], end == std::string::npos ? end : end - starts[c]));
    }
    if (!ParseNr(cells[0])) return fail("line " + std::to_string(li + 1) + " has no row number");
    table.rows_.push_back(std::move(cells));
  }
  if (!ended) return fail("no [END] line");
  table.Reindex();
  return table;
}

std::string TabTable::Serialize() const {
  // Fixed widths: one long value never widens the other rows. Only a value
  // of the last column read from a hand-edited file can be longer; it stays
  // as it is, in its own line.
  auto pad = [](std::string& out, const std::string& s, std::size_t width) {
    out += s;
    if (s.size() < width) out.append(width - s.size(), ' ');
  };
  std::string out = beginLine_ + "\n";
  for (std::size_t c = 0; c < columns_.size(); ++c) pad(out, columns_[c], widths_[c]);
  out += "\n";
  for (const auto& row : rows_) {
    for (std::size_t c = 0; c < columns_.size(); ++c) pad(out, row[c], widths_[c]);
    out += "\n";
  }
  out += "[END]\n";
  return out;
}

int TabTable::ColumnIndex(const std::string& column) const {
  for (std::size_t c = 0; c < columns_.size(); ++c)
    if (columns_[c] == column) return static_cast<int>(c);
  return -1;
}

void TabTable::Reindex() {
  index_.clear();
  for (std::size_t r = 0; r < rows_.size(); ++r) index_.emplace(*ParseNr(rows_[r][0]), r);
}

std::optional<std::string> TabTable::Cell(std::int64_t nr, const std::string& column) const {
  const int c = ColumnIndex(column);
  const auto it = index_.find(nr);
  if (c < 0 || it == index_.end()) return std::nullopt;
  return rows_[it->second][static_cast<std::size_t>(c)];
}

bool TabTable::SetCell(std::int64_t nr, const std::string& column, const std::string& text) {
  const int c = ColumnIndex(column);
  const auto it = index_.find(nr);
  if (c <= 0 || it == index_.end()) return false;  // NR itself is not writable
  std::string value = Trim(text);
  if (value.size() > ValueWidth(static_cast<std::size_t>(c))) return false;
  rows_[it->second][static_cast<std::size_t>(c)] = std::move(value);
  return true;
}

std::size_t TabTable::ValueWidth(std::size_t column) const {
  // A blank must stay between a value and the next column.
  return column + 1 < widths_.size() ? widths_[column] - 1 : widths_[column];
}

}  // namespace ostrana::vc
