// The Windows Application log as the events' second sink: each event through
// ReportEventW under the source "Ostrana Connector", its type by the line's
// level (an audit line as information), its category by its kind, its
// number as the event ID, and its fields as the insert strings of the
// message table ostrana.exe carries (scripts/event-messages): %1 the line,
// %2 the client, %3 the machine, %4 the command, %5 its values, %6 written
// or not, %7 the reason, %8 the repeats counted. An empty field is "-", so
// that each field keeps its place in what a collector reads.
//
// A run without the source's registration (a copied folder) still reports;
// Event Viewer then shows the fields without the texts, and the file log
// says so once. A source that cannot be opened refuses every event with the
// reason, which the file log says once too.
//
// Threads: made by the run's owner (the main thread); Report from the event
// log's writer thread only.
#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <utility>

#include "common/EventLog.h"
#include "common/PlatformLog.h"
#include "common/SystemText.h"
#include "common/WideText.h"

namespace ostrana {
namespace {

constexpr const wchar_t* kSource = L"Ostrana Connector";
constexpr const wchar_t* kSourceKey = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Ostrana Connector";

// A field as an insert string: "-" when empty, so that each keeps its place.
std::wstring Insert(const std::string& text) { return text.empty() ? L"-" : Wide(text); }

WORD TypeOf(LogLevel level) {
  switch (level) {
    case LogLevel::Error: return EVENTLOG_ERROR_TYPE;
    case LogLevel::Warning: return EVENTLOG_WARNING_TYPE;
    case LogLevel::Info:
    case LogLevel::Audit: break;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

class ApplicationLogSink final : public PlatformSink {
 public:
  ApplicationLogSink(HANDLE source, std::string openFailure, bool registered)
      : source_(source), openFailure_(std::move(openFailure)), registered_(registered) {}
  ~ApplicationLogSink() override {
    if (source_) DeregisterEventSource(source_);
  }
  ApplicationLogSink(const ApplicationLogSink&) = delete;
  ApplicationLogSink& operator=(const ApplicationLogSink&) = delete;

  bool Report(const PlatformEntry& entry, std::string& why) override {
    if (!source_) {
      why = openFailure_;
      return false;
    }
    const LogEvent& event = entry.event;
    const std::array<std::wstring, 8> fields = {
        Insert(entry.message), Insert(event.client), Insert(event.machine), Insert(event.command),
        Insert(event.values),  Insert(event.result), Insert(event.reason),  std::to_wstring(entry.repeats)};
    std::array<const wchar_t*, 8> inserts{};
    for (std::size_t i = 0; i < fields.size(); ++i) inserts[i] = fields[i].c_str();
    if (!ReportEventW(source_, TypeOf(entry.level), static_cast<WORD>(CategoryOf(event.Kind())),
                      static_cast<DWORD>(event.id), nullptr, static_cast<WORD>(inserts.size()), 0, inserts.data(),
                      nullptr)) {
      why = SystemText(GetLastError());
      return false;
    }
    if (!registered_) {
      registered_ = true;  // said once
      // This sink serves the process's log; the line comes after the event's.
      Log(LogLevel::Warning, "log",
          "the event source \"Ostrana Connector\" is not registered on this computer: Event Viewer shows this "
          "run's events without their texts (the setup registers it)");
    }
    return true;
  }
  bool TakesMirror() const override { return false; }
  std::string Name() const override { return "the Windows event log"; }

 private:
  const HANDLE source_;
  const std::string openFailure_;
  bool registered_;
};

}  // namespace

std::unique_ptr<PlatformSink> OpenPlatformSink(const PlatformLogChoice&) {
  HKEY key = nullptr;
  const bool registered = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
  if (key) RegCloseKey(key);
  HANDLE source = RegisterEventSourceW(nullptr, kSource);
  const std::string failure = source ? "" : "the event source cannot be opened: " + SystemText(GetLastError());
  return std::make_unique<ApplicationLogSink>(source, failure, registered);
}

}  // namespace ostrana
