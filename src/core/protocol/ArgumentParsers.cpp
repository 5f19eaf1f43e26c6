#include "protocol/ArgumentParsers.h"

#include <cctype>
#include <climits>
#include <vector>

namespace ostrana::protocol {

std::int32_t ReadDecimal(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 1LL + INT_MAX) value = 1LL + INT_MAX;  // held at the limit, no overflow
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<std::int32_t>(value);
}

std::string Cut(const std::string& text, long start, long end) {
  if (start < 0) start = 0;
  const long size = static_cast<long>(text.size());
  if (start >= size || end < start) return {};
  if (end > size) end = size;
  return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

namespace {
// Whether a decimal as ReadDecimal takes it has any digits at all.
bool StartsWithDigits(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
}

long Find(const std::string& text, char ch, long from) {
  if (from < 0) from = 0;
  const auto pos = text.find(ch, static_cast<std::size_t>(from));
  return pos == std::string::npos ? -1 : static_cast<long>(pos);
}
}  // namespace

ConnectionParse ParseConnectionFields(const std::string& argument) {
  ConnectionParse result;
  const long end = static_cast<long>(argument.size());
  const long c1 = Find(argument, ',', 0);
  // Without a comma the whole argument is the type text.
  if (ReadDecimal(Cut(argument, 0, c1 < 0 ? end : c1)) != 4) {
    result.refusal = ConnectionRefusal::UnsupportedType;
    return result;
  }
  const long c2 = c1 < 0 ? -1 : Find(argument, ',', c1 + 1);
  const long c3 = c2 < 0 ? -1 : Find(argument, ',', c2 + 1);
  if (c3 < 0) {
    result.refusal = ConnectionRefusal::Incomplete;
    return result;
  }
  const std::string baseText = Cut(argument, c3 + 1, end);
  const std::int32_t baseRow = ReadDecimal(baseText);
  if (!StartsWithDigits(baseText) || baseRow < 0) {
    result.refusal = ConnectionRefusal::BadBaseRow;
    return result;
  }
  result.data.connectionText = Cut(argument, c1 + 1, c2);
  result.data.connectionNumber = ReadDecimal(Cut(argument, c2 + 1, c3));
  result.data.baseRow = baseRow;
  return result;
}

std::optional<ConnectionData> ConnectionAsRequested(const std::string& text, const std::string& number) {
  if ((text + number).find_first_of(",\n") != std::string::npos) return std::nullopt;
  const ConnectionParse parsed = ParseConnectionFields("4," + text + "," + number + ",0");
  if (parsed.refusal != ConnectionRefusal::None) return std::nullopt;
  return parsed.data;
}

std::optional<double> ParseWcsField(const std::string& field) {
  static const std::string kDigits = "0123456789ABCDEF";
  if (field.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char ch : field) {
    const auto digit = kDigits.find(ch);
    if (digit == std::string::npos || ch == '\0') return std::nullopt;
    value = (value << 4) + static_cast<std::uint32_t>(digit);
  }
  return static_cast<std::int32_t>(value) / 10000.0;
}

std::optional<std::array<double, 6>> ParseWcsFields(const Argument& argument) {
  if (!argument.terminated) return std::nullopt;
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const auto comma = argument.text.find(',', start);
    fields.push_back(argument.text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (fields.size() != 6) return std::nullopt;
  std::array<double, 6> values{};
  for (std::size_t i = 0; i < 6; ++i) {
    auto value = ParseWcsField(fields[i]);
    if (!value) return std::nullopt;
    values[i] = *value;
  }
  return values;
}

}  // namespace ostrana::protocol
