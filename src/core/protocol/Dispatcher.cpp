#include "protocol/Dispatcher.h"

#include "common/EventLog.h"

#include <cstdio>

#include "mailbox/Readings.h"
#include "protocol/AnswerGrammar.h"

namespace ostrana::protocol {
namespace {

using answer::Hex32;

// "<kind>: " as the answer line begins.
std::string Begin(const char* kind) { return std::string(kind) + ": "; }

bool Has(const std::string& chunk, const char* keyword) { return chunk.find(keyword) != std::string::npos; }

std::string CommandData(const char* name, bool result) {
  return Begin(answer::kCommand) + name + "," + Hex32(result ? 1 : 0) + "\n";
}

std::string BufferData(bool result, std::int32_t baseRow) {
  return Begin(answer::kBuffer) + Hex32(result ? 1 : 0) + "," + Hex32(baseRow) + "\n";
}

}  // namespace

Argument ExtractArgument(const std::string& chunk, const std::string& colonForm) {
  const auto at = chunk.find(colonForm);
  // A bare keyword without its colon form carries no argument.
  if (at == std::string::npos) return {};
  const auto start = at + colonForm.size();
  const auto end = chunk.find('\n', start);
  if (end == std::string::npos) return {};
  return {chunk.substr(start, end - start), true};
}

namespace {
const char* const kAlarmNames[] = {"OutOfTolerance", "Unprojected", "PartAlignmentFailed", "Unspecified"};
}  // namespace

std::optional<std::int32_t> AlarmCode(const Argument& argument) {
  if (!argument.terminated) return std::nullopt;
  std::string name = argument.text;
  if (!name.empty() && name.back() == '\r') name.pop_back();
  for (std::int32_t i = 0; i < 4; ++i)
    if (name == kAlarmNames[i]) return i + 1;
  return std::nullopt;
}

const char* AlarmName(std::int32_t code) { return code >= 1 && code <= 4 ? kAlarmNames[code - 1] : "none"; }

std::int32_t ScaleReal(double value) { return TruncToInt32(value * 10000.0); }

std::string ActionLine(std::int32_t code) { return Begin(answer::kAction) + Hex32(code) + "\n"; }

std::string MeasureLine(const mailbox::MeasureRecord& r) {
  const std::int32_t fields[answer::kMeasureFields] = {r.kind,
                                                       r.detail,
                                                       r.id,
                                                       r.index,
                                                       r.qualifier,
                                                       ScaleReal(r.value1),
                                                       ScaleReal(r.value2),
                                                       ScaleReal(r.value3),
                                                       ScaleReal(r.context),
                                                       ScaleReal(r.attached1),
                                                       ScaleReal(r.attached2),
                                                       ScaleReal(r.attached3),
                                                       ScaleReal(r.value0)};
  std::string line = Begin(answer::kMeasure);
  for (int i = 0; i < answer::kMeasureFields; ++i) {
    if (i) line += ',';
    line += Hex32(fields[i]);
  }
  return line + "\n";
}

std::string DispatchRequest(RequestOperations& ops, const std::string& chunk) {
  std::string reply;
  reply.reserve(10800);

  if (Has(chunk, "Machine Connect")) {
    const bool accepted = ops.ParseConnectionData(ExtractArgument(chunk, "Machine Connect: "));
    const bool connected = accepted && ops.Connect();
    reply += Begin(answer::kConnection) + Hex32(connected) + "\n";
  }
  if (Has(chunk, "Machine Disconnect")) {
    ops.Disconnect();
    reply += Begin(answer::kConnection) + Hex32(0) + "\n";
  }
  if (Has(chunk, "Start Machine Polling")) {
    const bool started = ops.StartPolling();
    if (started) ops.SetMachineStatus(true);
    reply += Begin(answer::kPolling) + Hex32(started) + "\n";
  }
  if (Has(chunk, "Stop Machine Polling")) {
    ops.StopPolling();
    ops.SetMachineStatus(false);
    reply += Begin(answer::kPolling) + Hex32(0) + "\n";
  }
  if (Has(chunk, "Resume Monitoring")) reply += CommandData("Resume Monitoring", ops.ResumeMonitoring());
  if (Has(chunk, "Halt Monitoring")) reply += CommandData("Halt Monitoring", ops.HaltMonitoring());
  if (Has(chunk, "Check Machine Buffer")) {
    const bool ok = ops.CheckMachineBuffer();
    reply += BufferData(ok, ops.BaseRow());
  }
  if (Has(chunk, "Locate Machine Buffer")) reply += BufferData(false, ops.BaseRow());
  if (Has(chunk, "Set Alarm")) {
    const Argument argument = ExtractArgument(chunk, "Set Alarm: ");
    const auto code = AlarmCode(argument);
    if (!code)
      Log(LogLevel::Info, "request",
          "Set Alarm refused for its data '" + argument.text +
              "': not one of the four alarm names ended by a line feed",
          LogEvent(EventId::RequestDataRefused)
              .Command("Set Alarm")
              .Values(argument.text)
              .Reason("not one of the four alarm names ended by a line feed"));
    reply += CommandData("Set Alarm", code && ops.SetAlarm(*code));
  }
  if (Has(chunk, "Set WCS")) reply += CommandData("Set WCS", ops.ApplyWcsData(ExtractArgument(chunk, "Set WCS: ")));
  if (Has(chunk, "Send Device")) {
    const auto device = ops.ReadDeviceStatus();
    reply += Begin(answer::kDevice) + Hex32(device.online) + "," + device.name + "\n";
  }
  if (Has(chunk, "Send Action")) {
    if (auto code = ops.PopAction())
      reply += ActionLine(*code);
    else
      reply += std::string(answer::kNoActions) + "\n";
  }
  if (Has(chunk, "Send Measure")) {
    if (auto record = ops.PopMeasure())
      reply += MeasureLine(*record);
    else
      reply += std::string(answer::kNoMeasures) + "\n";
  }
  if (Has(chunk, "Send Alarm")) reply += Begin(answer::kAlarm) + Hex32(ops.AlarmValue()) + "\n";

  if (reply.empty()) reply = std::string(answer::kUnknown) + "\n";
  return reply;
}

}  // namespace ostrana::protocol
