// The systemd journal as the platform's log: one entry per event, sent with
// sd_journal_sendv, with the line's text, its priority and the event's fields.
#include "common/PlatformLog.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
// The entries name the connector, not a place in its source.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace ostrana {
namespace {

constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// Whether the service manager's journal reads our stderr: JOURNAL_STREAM is
// "<device>:<inode>" of the stream it gave us.
bool StderrIsJournal() {
  const char* named = std::getenv("JOURNAL_STREAM");
  struct stat err {};
  if (!named || fstat(STDERR_FILENO, &err) != 0) return false;
  return named == std::to_string(err.st_dev) + ":" + std::to_string(err.st_ino);
}

// The unnamed datagram sockets of this process (the journal's is one of them, once opened).
std::set<int> DatagramSockets() {
  std::set<int> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const int fd = std::atoi(entry.path().filename().c_str());
    int type = 0, domain = 0;
    socklen_t size = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_DGRAM) continue;
    size = sizeof domain;
    if (getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &size) == 0 && domain == AF_UNIX) found.insert(fd);
  }
  return found;
}

int Priority(LogLevel level) {
  switch (level) {
    case LogLevel::Error: return 3;
    case LogLevel::Warning: return 4;
    default: return 6;  // information; the audit too, with its own OSTRANA_KIND
  }
}

class JournalSink final : public PlatformSink {
 public:
  bool Report(const PlatformEntry& entry, std::string& why) override {
    // sd_journal_sendv takes a missing socket for success: looked at first,
    // so that a journal that is not there is said in the file log.
    struct stat socket {};
    if (stat(kJournalSocket, &socket) != 0 || !S_ISSOCK(socket.st_mode)) {
      why = std::string("no journal socket at ") + kJournalSocket;
      return false;
    }
    const LogEvent& event = entry.event;
    const EventInfo* info = FindEvent(event.id);
    std::vector<std::string> fields = {
        "MESSAGE=" + entry.message,
        "PRIORITY=" + std::to_string(Priority(entry.level)),
        "SYSLOG_IDENTIFIER=ostrana",
        "OSTRANA_ID=" + std::to_string(static_cast<unsigned>(event.id)),
        "OSTRANA_KIND=" + std::string(KindName(event.Kind())),
    };
    if (info) fields.push_back(std::string("OSTRANA_EVENT=") + info->name);
    const std::pair<const char*, const std::string*> named[] = {
        {"OSTRANA_CLIENT=", &event.client}, {"OSTRANA_MACHINE=", &event.machine}, {"OSTRANA_COMMAND=", &event.command},
        {"OSTRANA_VALUES=", &event.values}, {"OSTRANA_RESULT=", &event.result},   {"OSTRANA_REASON=", &event.reason}};
    for (const auto& [name, value] : named)
      if (!value->empty()) fields.push_back(name + *value);
    if (entry.repeats) fields.push_back("OSTRANA_REPEATS=" + std::to_string(entry.repeats));
    std::vector<iovec> parts;
    for (auto& field : fields) parts.push_back({field.data(), field.size()});
    const std::set<int> before = nonBlocking_ ? std::set<int>() : DatagramSockets();
    int sent = sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
    if (!nonBlocking_) Unblock(before);
    // A journal behind with its reading gets a moment; one that has stopped
    // reading does not, until it takes an entry again.
    for (int i = 0; sent == -EAGAIN && !stalled_ && i < 50; ++i) {
      usleep(1000);
      sent = sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
    }
    stalled_ = sent == -EAGAIN;
    if (sent < 0) why = std::strerror(-sent);
    return sent >= 0;
  }
  bool TakesMirror() const override { return true; }
  std::string Name() const override { return "the systemd journal"; }

 private:
  // The library's socket blocks while the journal does not read, which
  // would hold the log's writer and with it the file log. Once the first
  // entry has opened it, it is the one new unnamed datagram socket: made
  // non-blocking, a journal that does not read makes an entry fail at once
  // (EAGAIN) instead.
  void Unblock(const std::set<int>& before) {
    std::vector<int> opened;
    for (int fd : DatagramSockets())
      if (!before.count(fd)) opened.push_back(fd);
    if (opened.size() != 1) return;
    const int flags = fcntl(opened[0], F_GETFL);
    nonBlocking_ = flags >= 0 && fcntl(opened[0], F_SETFL, flags | O_NONBLOCK) == 0;
  }
  bool nonBlocking_ = false;
  bool stalled_ = false;
};

}  // namespace

std::unique_ptr<PlatformSink> OpenPlatformSink(const PlatformLogChoice& choice) {
  if (!choice.journal && !StderrIsJournal()) return nullptr;
  return std::make_unique<JournalSink>();
}

}  // namespace ostrana
