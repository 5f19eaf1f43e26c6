// The two request arguments that carry data: the connection data of
// "Machine Connect" (decimal, lenient) and the six values of "Set WCS"
// (upper-case hexadecimal, strict). Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/RequestOperations.h"

namespace ostrana::protocol {

// Reads a decimal as atoi does: leading blanks, a sign, digits up to the
// first other character; 0 without digits; held at the 32-bit limits.
std::int32_t ReadDecimal(const std::string& text);

// The substring rule of both parsers: positions [start, end) where a start
// below 0 counts as 0, end < start or start past the text give "", and an end
// past the text is cut to it. end == npos-like -1 is handled by the caller.
std::string Cut(const std::string& text, long start, long end);

struct ConnectionData {
  std::string connectionText;
  std::int32_t connectionNumber = 0;
  std::int32_t baseRow = 0;
};

enum class ConnectionRefusal { None, UnsupportedType, Incomplete, BadBaseRow };

struct ConnectionParse {
  ConnectionRefusal refusal = ConnectionRefusal::None;
  ConnectionData data;
};

// Type 4 with four fields is accepted. A type other than 4 is refused as
// unsupported; type 4 with fewer than four fields as incomplete, since the
// base row would otherwise come from the wrong field; a base row without
// digits ("abc" would read as 0) or below 0 as a bad base row, since the
// mailbox would then lie on rows the NC program does not own. What follows
// the base row's digits is ignored ("100\r" is 100).
ConnectionParse ParseConnectionFields(const std::string& argument);

// A connection text and number as "Machine Connect" would hand them over
// (the probe's, to connect as a client's request would): the number read
// by ReadDecimal. Nothing when no request could carry them as given: a
// comma or a line's end in either would split the request's fields.
std::optional<ConnectionData> ConnectionAsRequested(const std::string& text, const std::string& number);

// Six values in steps of 0.0001, or nothing when the data is refused: the
// argument must have ended at a line feed and hold exactly six fields, each
// empty (0) or at most 8 digits of "0123456789ABCDEF".
std::optional<std::array<double, 6>> ParseWcsFields(const Argument& argument);

// One WCS field: nothing when refused.
std::optional<double> ParseWcsField(const std::string& field);

}  // namespace ostrana::protocol
