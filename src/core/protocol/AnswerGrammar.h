// The answer lines of the request protocol, in one place: what the
// dispatcher writes and what ostrana-client, the soak and the tests read
// back. An answer is "<kind>: <values>\n", its numbers upper-case
// hexadecimal 32-bit patterns without leading zeros. Pure; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ostrana::protocol::answer {

inline constexpr const char* kIdent = "Ident Data";  // the greeting
inline constexpr const char* kConnection = "Connection Data";
inline constexpr const char* kPolling = "Polling Data";
inline constexpr const char* kCommand = "Command Data";
inline constexpr const char* kBuffer = "Buffer Data";
inline constexpr const char* kDevice = "Device Data";
inline constexpr const char* kAction = "Action Data";
inline constexpr const char* kMeasure = "Measure Data";
inline constexpr const char* kAlarm = "Alarm Data";
inline constexpr const char* kNoActions = "No Actions!";
inline constexpr const char* kNoMeasures = "No Measures!";
inline constexpr const char* kUnknown = "Unknown request!";

// The 13 numbers of a "Measure Data" line, in order; the last eight are
// reals scaled by 10000.
inline constexpr int kMeasureFields = 13;
inline constexpr int kMeasureReals = 8;
inline constexpr const char* kMeasureFieldNames[kMeasureFields] = {
    "kind",   "detail",  "id",        "index",     "qualifier", "value1", "value2",
    "value3", "context", "attached1", "attached2", "attached3", "value0"};

// The longest answer line, without its line feed: a "Measure Data" line of
// 13 numbers of 8 digits each (130 characters). The greeting and every other
// answer are shorter; a reader bounds what it takes for one line by this.
inline constexpr std::size_t kLongestLine =
    std::char_traits<char>::length(kMeasure) + 2 + kMeasureFields * 8 + (kMeasureFields - 1);

// Whether `line` is an answer of `kind`: it begins "<kind>: ".
inline bool IsAnswer(const std::string& line, const char* kind) { return line.rfind(std::string(kind) + ": ", 0) == 0; }

// A number as the protocol writes it: "FFFFFFFF" for -1, "0" for 0.
std::string Hex32(std::int32_t value);
// Such a number read back as a signed integer; nothing when it is not one.
std::optional<std::int32_t> ParseHex32(const std::string& text);

}  // namespace ostrana::protocol::answer
