// Reading the connector's answers as a person would: named fields in
// decimal, the reals divided by 10000. Pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/AnswerGrammar.h"

namespace ostrana::protocol {

// The fields of one answer line ("Measure Data: 1,FA,..."), or nothing when
// the line is not one of the answers that carry numbers.
struct DecodedAnswer {
  std::string kind;  // "Measure Data", "Device Data", "Alarm Data", "Buffer Data"
  std::vector<std::pair<std::string, std::string>> fields;
};
std::optional<DecodedAnswer> DecodeAnswer(const std::string& line);

// "kind: name=value name=value ..."
std::string FormatDecoded(const DecodedAnswer& answer);

// Whether a reply consists only of answer lines of the protocol, each ended
// by a line feed (used to check the connector under hostile input). Written
// out as its own expression, not from the grammar's constants, so that it
// stays an independent witness of what the dispatcher sends.
bool IsWellFormedReply(const std::string& reply);

// The record id of a "Measure Data" line, for the follower's gap count.
std::optional<std::int32_t> MeasureId(const std::string& line);

}  // namespace ostrana::protocol
