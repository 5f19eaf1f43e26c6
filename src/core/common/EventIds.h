// The kinds of event the connector reports to the platform's log service
// (the systemd journal, the Windows Application log), each with a number of
// its own. A shop's subscriptions and queries filter on these numbers: a
// number, once given, keeps its meaning for good; a new kind of event gets
// a new number, and a kind that goes away leaves its number unused.
//
// The guide's table of events and the Windows program's message table list
// exactly these: their numbers, categories and texts match this table.
//
// Threads: constant data, any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace ostrana {

// The area an event belongs to; on Windows, its category (numbered from 1 in
// this order), in the journal the field OSTRANA_KIND.
enum class EventKind : std::uint8_t { Start = 1, Stop, Client, Machine, Audit, Dnc, Log };

enum class EventId : std::uint16_t {
  None = 0,  // a line that is no event: the file log only
  // Start and stop.
  Started = 100,
  Stopped = 101,
  SettingsNotSaved = 102,
  // The client and its port.
  ClientAccepted = 200,
  ClientLeft = 201,
  ClientReplaced = 202,
  ClientDropped = 203,
  AcceptFailed = 204,
  PortUnusable = 205,
  NoFreePort = 206,
  ListenerMissed = 207,
  RequestDataRefused = 208,
  // The machine connection.
  MachineConnected = 300,
  MachineConnectFailed = 301,
  MachineDisconnected = 302,
  MachineLost = 303,
  MachineBack = 304,
  RequestRefused = 305,
  WorkerNoThread = 306,
  // The audit: what the connector wrote to the machine, and what the NC program did with it.
  CommandWritten = 400,
  CommandNotWritten = 401,
  CommandTaken = 402,
  CommandNotTaken = 403,
  ReadSlotSet = 404,
  SignalAnswered = 405,
  SignalCleared = 406,
  AlarmAnswered = 407,
  AlarmEnded = 408,
  MailboxWrites = 409,
  TableTransmitted = 410,
  // The DNC component.
  ComponentRefused = 500,
  NoTypeInformation = 501,
  ComponentMissing = 502,
  // The log itself, and what a run without a window says to its operator.
  LinesNotKept = 600,
  LogOfItsOwn = 601,
  OperatorNote = 602,
  OperatorQuestion = 603,
  OperatorMessage = 604,
};

struct EventInfo {
  EventId id;
  EventKind kind;
  const char* name;         // the constant's name, for tests and tools
  const char* description;  // one line, as the guide and the message table give it
};

inline constexpr EventInfo kEvents[] = {
    {EventId::Started, EventKind::Start, "Started", "The connector started: version, bitness, port, machine side."},
    {EventId::Stopped, EventKind::Stop, "Stopped", "The connector stopped."},
    {EventId::SettingsNotSaved, EventKind::Stop, "SettingsNotSaved", "The settings could not be saved."},
    {EventId::ClientAccepted, EventKind::Client, "ClientAccepted", "A client was accepted."},
    {EventId::ClientLeft, EventKind::Client, "ClientLeft", "The client left."},
    {EventId::ClientReplaced, EventKind::Client, "ClientReplaced", "The client was replaced by a new one."},
    {EventId::ClientDropped, EventKind::Client, "ClientDropped", "The client was dropped: it left its answers unread."},
    {EventId::AcceptFailed, EventKind::Client, "AcceptFailed", "A client could not be accepted."},
    {EventId::PortUnusable, EventKind::Client, "PortUnusable", "The port cannot be listened on."},
    {EventId::NoFreePort, EventKind::Client, "NoFreePort", "No port from 50000 to 50100 is free."},
    {EventId::ListenerMissed, EventKind::Client, "ListenerMissed", "The listener missed a notification."},
    {EventId::RequestDataRefused, EventKind::Client, "RequestDataRefused",
     "A request was refused for its data: nothing was written."},
    {EventId::MachineConnected, EventKind::Machine, "MachineConnected", "The machine was connected."},
    {EventId::MachineConnectFailed, EventKind::Machine, "MachineConnectFailed", "The machine could not be connected."},
    {EventId::MachineDisconnected, EventKind::Machine, "MachineDisconnected", "The machine was disconnected."},
    {EventId::MachineLost, EventKind::Machine, "MachineLost", "The machine was lost: its mailbox cannot be read."},
    {EventId::MachineBack, EventKind::Machine, "MachineBack", "The machine is back."},
    {EventId::RequestRefused, EventKind::Machine, "RequestRefused", "A client's request to the machine was refused."},
    {EventId::WorkerNoThread, EventKind::Machine, "WorkerNoThread", "Polling cannot start: no thread for the worker."},
    {EventId::CommandWritten, EventKind::Audit, "CommandWritten", "A command was written to the machine."},
    {EventId::CommandNotWritten, EventKind::Audit, "CommandNotWritten", "A command was not written to the machine."},
    {EventId::CommandTaken, EventKind::Audit, "CommandTaken", "The NC program took a command."},
    {EventId::CommandNotTaken, EventKind::Audit, "CommandNotTaken", "A command was not taken by the NC program."},
    {EventId::ReadSlotSet, EventKind::Audit, "ReadSlotSet", "Polling set the read slot: records in the ring skipped."},
    {EventId::SignalAnswered, EventKind::Audit, "SignalAnswered", "A signal of the NC program was answered."},
    {EventId::SignalCleared, EventKind::Audit, "SignalCleared", "The signal row was cleared as polling stopped."},
    {EventId::AlarmAnswered, EventKind::Audit, "AlarmAnswered", "The NC program answered an alarm."},
    {EventId::AlarmEnded, EventKind::Audit, "AlarmEnded", "The NC program ended an alarm."},
    {EventId::MailboxWrites, EventKind::Audit, "MailboxWrites", "The mailbox writes of the last minute, counted."},
    {EventId::TableTransmitted, EventKind::Audit, "TableTransmitted", "The exchange table was sent to the control."},
    {EventId::ComponentRefused, EventKind::Dnc, "ComponentRefused",
     "The DNC component was refused: nothing was called."},
    {EventId::NoTypeInformation, EventKind::Dnc, "NoTypeInformation", "The DNC component gives no type information."},
    {EventId::ComponentMissing, EventKind::Dnc, "ComponentMissing", "The DNC component is missing for this program."},
    {EventId::LinesNotKept, EventKind::Log, "LinesNotKept", "Lines of the event log were not kept."},
    {EventId::LogOfItsOwn, EventKind::Log, "LogOfItsOwn", "The log is in use: this run writes a file of its own."},
    {EventId::OperatorNote, EventKind::Log, "OperatorNote", "A note for the operator."},
    {EventId::OperatorQuestion, EventKind::Log, "OperatorQuestion", "A question to the operator, answered."},
    {EventId::OperatorMessage, EventKind::Log, "OperatorMessage", "A message to the operator (a box in the window)."},
};

// The entry of `id` in the table; nullptr for None or a number not in it.
constexpr const EventInfo* FindEvent(EventId id) {
  for (const EventInfo& info : kEvents)
    if (info.id == id) return &info;
  return nullptr;
}

// The kind's name as the journal's OSTRANA_KIND and the guide give it.
constexpr std::string_view KindName(EventKind kind) {
  switch (kind) {
    case EventKind::Start: return "start";
    case EventKind::Stop: return "stop";
    case EventKind::Client: return "client";
    case EventKind::Machine: return "machine";
    case EventKind::Audit: return "audit";
    case EventKind::Dnc: return "dnc";
    case EventKind::Log: return "log";
  }
  return "log";
}

// The Windows event category of a kind: start and stop share one.
constexpr int CategoryOf(EventKind kind) {
  return kind == EventKind::Stop ? 1 : static_cast<int>(kind) - (kind > EventKind::Stop ? 1 : 0);
}
inline constexpr int kCategoryCount = 6;

}  // namespace ostrana
