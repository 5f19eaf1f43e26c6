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
      // Line ends from either world, and tabs, count as blanks.
      for (char& ch : line)
        if (ch == '\r' || ch == '\t') ch = ' ';
      lines.push_back(line);
    }
  }
  if (lines.size() < 2 || lines[0].rfind("BEGIN", 0) != 0) return fail("no BEGIN line");

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
      cells[c] = Trim(line.substr(starts[c], end == std::string::npos ? end : end - starts[c]));
    }
    if (!ParseNr(cells[0])) return fail("row " + std::to_string(li + 1) + " has no row number");
    table.rows_.push_back(std::move(cells));
  }
  if (!ended) return fail("no [END] line");
  table.Reindex();
  return table;
}

TabTable TabTable::Make(std::string beginLine, std::vector<std::string> columns) {
  TabTable table;
  table.beginLine_ = std::move(beginLine);
  table.columns_ = std::move(columns);
  return table;
}

std::string TabTable::Serialize() const {
  std::vector<std::size_t> widths(columns_.size());
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    std::size_t w = columns_[c].size();
    for (const auto& row : rows_) w = std::max(w, row[c].size());
    widths[c] = w + 2;  // at least two blanks between columns
  }
  auto pad = [](std::string s, std::size_t width) {
    s.resize(std::max(width, s.size()), ' ');
    return s;
  };
  std::string out = beginLine_ + "\n";
  for (std::size_t c = 0; c < columns_.size(); ++c) out += pad(columns_[c], widths[c]);
  out += "\n";
  for (const auto& row : rows_) {
    for (std::size_t c = 0; c < columns_.size(); ++c) out += pad(row[c], widths[c]);
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
  rows_[it->second][static_cast<std::size_t>(c)] = Trim(text);
  return true;
}

bool TabTable::AddRow(std::int64_t nr) {
  if (HasRow(nr)) return false;
  std::vector<std::string> cells(columns_.size());
  cells[0] = std::to_string(nr);
  rows_.push_back(std::move(cells));
  index_.emplace(nr, rows_.size() - 1);
  return true;
}

}  // namespace ostrana::vc
