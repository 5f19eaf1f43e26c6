// Reading the connector's answers as a person would: named fields in
// decimal, the reals divided by 10000. Pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrana::tools {

// The fields of one answer line ("Measure Data: 1,FA,..."), or nothing when
// the line is not one of the answers that carry numbers.
struct DecodedAnswer {
  std::string kind;  // "Measure Data", "Device Data", "Alarm Data", "Buffer Data"
  std::vector<std::pair<std::string, std::string>> fields;
};
std::optional<DecodedAnswer> DecodeAnswer(const std::string& line);

// "kind: name=value name=value ..."
std::string FormatDecoded(const DecodedAnswer& answer);

// A hexadecimal 32-bit pattern as a signed integer; nothing when it is not one.
std::optional<std::int32_t> ParseHex32(const std::string& text);

// Whether a reply consists only of answer lines of the protocol, each ended
// by a line feed (used to check the connector under hostile input).
bool IsWellFormedReply(const std::string& reply);

// The record id of a "Measure Data" line, for the follower's gap count.
std::optional<std::int32_t> MeasureId(const std::string& line);

}  // namespace ostrana::tools
