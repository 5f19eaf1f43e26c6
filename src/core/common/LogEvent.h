// What a log line says in fields, for the platform's log service: which kind
// of event it is (its number in EventIds.h) and, where the line has them, the
// client, the machine, the command and its values, whether it was written,
// and why not. The file log keeps writing the line's text; the fields let a
// shop's collector filter without reading the text.
//
// Threads: a value; made on any thread that logs, read by the log's writer.
#pragma once

#include <string>
#include <utility>

#include "common/EventIds.h"

namespace ostrana {

// A line's level: on Windows its event type (Audit as information), in the journal its PRIORITY.
enum class LogLevel { Info, Warning, Error, Audit };

struct LogEvent {
  EventId id = EventId::None;  // None: the line is for the file log only
  std::string client;          // the client's address:port
  std::string machine;         // the connection text and number, "TNC640,1"
  std::string command;         // the command, "WCS (code 3)"
  std::string values;          // what it carried, "12.5000,0.0000,..."
  std::string result;          // "written" or "not written" (kWritten, kNotWritten)
  std::string reason;          // why: a refusal, a failure, a cause

  LogEvent() = default;
  explicit LogEvent(EventId event) : id(event) {}
  // The fields as a log call names them: LogEvent(EventId::ClientLeft).Client(peer).
  LogEvent& Client(std::string text) { return Set(client, std::move(text)); }
  LogEvent& Machine(std::string text) { return Set(machine, std::move(text)); }
  LogEvent& Command(std::string text) { return Set(command, std::move(text)); }
  LogEvent& Values(std::string text) { return Set(values, std::move(text)); }
  LogEvent& Result(bool written) { return Set(result, written ? kWritten : kNotWritten); }
  LogEvent& Reason(std::string text) { return Set(reason, std::move(text)); }

  static constexpr const char* kWritten = "written";
  static constexpr const char* kNotWritten = "not written";
  EventKind Kind() const {
    const EventInfo* info = FindEvent(id);
    return info ? info->kind : EventKind::Log;
  }

 private:
  LogEvent& Set(std::string& field, std::string text) {
    field = std::move(text);
    return *this;
  }
};

}  // namespace ostrana
