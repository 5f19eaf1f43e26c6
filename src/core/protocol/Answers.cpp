#include "protocol/Answers.h"

#include "protocol/AnswerGrammar.h"

#include <cstdio>
#include <regex>
#include <sstream>

namespace ostrana::protocol {
namespace {

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, ',')) parts.push_back(part);
  if (!text.empty() && text.back() == ',') parts.emplace_back();
  return parts;
}

std::string Real(std::int32_t scaled) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", scaled / 10000.0);
  return text;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

namespace answer {

std::string Hex32(std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(static_cast<std::uint32_t>(value)));
  return text;
}

std::optional<std::int32_t> ParseHex32(const std::string& text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char ch : text) {
    int digit;
    if (ch >= '0' && ch <= '9')
      digit = ch - '0';
    else if (ch >= 'A' && ch <= 'F')
      digit = ch - 'A' + 10;
    else
      return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace answer

std::optional<DecodedAnswer> DecodeAnswer(const std::string& raw) {
  std::string line = raw;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  const auto colon = line.find(": ");
  if (colon == std::string::npos) return std::nullopt;
  DecodedAnswer decoded;
  decoded.kind = line.substr(0, colon);
  const auto values = SplitCommas(line.substr(colon + 2));

  auto integers = [&](const std::vector<std::string>& names, std::size_t reals) -> bool {
    if (values.size() != names.size()) return false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      auto v = answer::ParseHex32(values[i]);
      if (!v) return false;
      decoded.fields.emplace_back(names[i], i >= names.size() - reals ? Real(*v) : std::to_string(*v));
    }
    return true;
  };

  if (decoded.kind == answer::kMeasure) {
    const std::vector<std::string> names(std::begin(answer::kMeasureFieldNames), std::end(answer::kMeasureFieldNames));
    if (!integers(names, answer::kMeasureReals)) return std::nullopt;
    return decoded;
  }
  if (decoded.kind == answer::kAlarm) return integers({"alarm"}, 0) ? std::optional(decoded) : std::nullopt;
  if (decoded.kind == answer::kBuffer)
    return integers({"result", "baseRow"}, 0) ? std::optional(decoded) : std::nullopt;
  if (decoded.kind == answer::kDevice) {
    const auto comma = line.find(',', colon + 2);
    if (comma == std::string::npos) return std::nullopt;
    auto online = answer::ParseHex32(line.substr(colon + 2, comma - colon - 2));
    if (!online) return std::nullopt;
    decoded.fields.emplace_back("online", std::to_string(*online));
    decoded.fields.emplace_back("name", line.substr(comma + 1));
    return decoded;
  }
  return std::nullopt;
}

std::string FormatDecoded(const DecodedAnswer& answer) {
  std::string text = answer.kind + ":";
  for (const auto& [name, value] : answer.fields) text += " " + name + "=" + value;
  return text;
}

std::optional<std::int32_t> MeasureId(const std::string& line) {
  if (!StartsWith(line, std::string(answer::kMeasure) + ": ")) return std::nullopt;
  auto decoded = DecodeAnswer(line);
  if (!decoded) return std::nullopt;
  return std::stoi(decoded->fields[2].second);
}

}  // namespace ostrana::protocol

namespace ostrana::protocol {

bool IsWellFormedReply(const std::string& reply) {
  static const std::regex line(
      "(Connection Data: [01]|Polling Data: [01]|"
      "Command Data: (Resume Monitoring|Halt Monitoring|Set Alarm|Set WCS),[01]|"
      "Buffer Data: [01],[0-9A-F]{1,8}|Device Data: [01],(Machine Tool)?|Action Data: [0-9A-F]{1,8}|"
      "No Actions!|No Measures!|Unknown request!|Alarm Data: [0-9A-F]{1,8}|"
      "Measure Data: [0-9A-F]{1,8}(,[0-9A-F]{1,8}){12})");
  if (reply.empty() || reply.back() != '\n') return false;
  std::size_t start = 0;
  while (start < reply.size()) {
    const auto end = reply.find('\n', start);
    if (!std::regex_match(reply.begin() + static_cast<long>(start), reply.begin() + static_cast<long>(end), line))
      return false;
    start = end + 1;
  }
  return true;
}

}  // namespace ostrana::protocol
