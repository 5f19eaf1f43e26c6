// The request protocol on the connector's side: one request chunk in, one
// reply out. Every keyword found in the chunk is served once, in the fixed
// order of the protocol, whatever its order in the chunk. Main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/RequestOperations.h"
#include "mailbox/MeasureRecord.h"

namespace ostrana::protocol {

std::string DispatchRequest(RequestOperations& ops, const std::string& chunk);

// The argument after `colonForm` ("Set WCS: ") up to the next line feed.
Argument ExtractArgument(const std::string& chunk, const std::string& colonForm);

// Alarm code of a "Set Alarm" argument: 1 to 4 when the argument ended at a
// line feed inside the chunk and is exactly one of the four names (a trailing
// carriage return allowed); nothing otherwise, so that a request that was not
// understood never raises an alarm on the machine.
std::optional<std::int32_t> AlarmCode(const Argument& argument);
// The name of alarm code 1 to 4; "none" for any other code.
const char* AlarmName(std::int32_t code);

// A real as it travels: value x 10000 truncated toward zero; the pattern of
// the most negative 32-bit integer when that is not a number or does not fit.
std::int32_t ScaleReal(double value);

std::string MeasureLine(const mailbox::MeasureRecord& record);
std::string ActionLine(std::int32_t code);

}  // namespace ostrana::protocol
