// The systemd journal as the platform's log: one entry per event, sent with
// sd_journal_sendv, with the line's text, its priority and the event's fields.
// Threads: Report from the event log's writer only; the first send from a thread of its own.
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
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
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

// The library's socket blocks while the journal does not read, and it is
// opened by the first send. So the first entry is sent from a thread of its
// own, waited for a moment: the log's writer (and with it the file log) is
// never held by a journal that is full when the run starts. Once that send
// is back, the socket it opened is made non-blocking: a later entry the
// journal has no room for waits at most 50 ms in any second, then is
// refused at once (EAGAIN), so a journal that reads slowly or not at all
// costs the file log's writer next to nothing. A socket that cannot be told
// apart from others stays blocking, and the journal is then not used.
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
    auto fields = std::make_shared<std::vector<std::string>>(Fields(entry));
    const bool started = !opening_;  // this entry is the first, sent by the opening thread
    if (started) {
      opening_ = std::make_shared<Opening>();
      std::thread([opening = opening_, fields] {
        const std::set<int> before = DatagramSockets();
        const int sent = Send(*fields);
        const bool unblocked = Unblock(before);
        std::lock_guard guard(opening->lock);
        opening->sent = sent, opening->unblocked = unblocked, opening->done = true;
        opening->wake.notify_all();
      }).detach();
    }
    {
      std::unique_lock guard(opening_->lock);
      if (started) opening_->wake.wait_for(guard, std::chrono::milliseconds(200), [&] { return opening_->done; });
      if (!opening_->done) {
        why = "it does not take the first event";
        return false;
      }
      if (!opening_->unblocked) {
        why = "its socket cannot be told apart to be made non-blocking";
        return false;
      }
      // The first send's outcome is this entry's when it came back in time;
      // one that came back later was counted as refused already.
      if (!std::exchange(opened_, true) && started) {
        if (opening_->sent < 0) why = std::strerror(-opening_->sent);
        return opening_->sent >= 0;
      }
    }
    int sent = Send(*fields);
    // A burst fills a reading journal's queue in a moment: it gets a millisecond at a time.
    for (auto now = std::chrono::steady_clock::now(); sent == -EAGAIN; now = std::chrono::steady_clock::now()) {
      if (now - window_ >= std::chrono::seconds(1)) window_ = now, waited_ = 0;
      if (waited_++ >= 50) break;
      usleep(1000);
      sent = Send(*fields);
    }
    if (sent < 0) why = std::strerror(-sent);
    return sent >= 0;
  }
  bool TakesMirror() const override { return true; }
  std::string Name() const override { return "the systemd journal"; }

 private:
  struct Opening {
    std::mutex lock;  // guards the members below
    std::condition_variable wake;
    int sent = 0;
    bool unblocked = false, done = false;
  };

  static std::vector<std::string> Fields(const PlatformEntry& entry) {
    const LogEvent& event = entry.event;
    std::vector<std::string> fields = {
        "MESSAGE=" + entry.message,
        "PRIORITY=" + std::to_string(Priority(entry.level)),
        "SYSLOG_IDENTIFIER=ostrana",
        "OSTRANA_ID=" + std::to_string(static_cast<unsigned>(event.id)),
        "OSTRANA_KIND=" + std::string(KindName(event.Kind())),
    };
    if (const EventInfo* info = FindEvent(event.id)) fields.push_back(std::string("OSTRANA_EVENT=") + info->name);
    const std::pair<const char*, const std::string*> named[] = {
        {"OSTRANA_CLIENT=", &event.client}, {"OSTRANA_MACHINE=", &event.machine}, {"OSTRANA_COMMAND=", &event.command},
        {"OSTRANA_VALUES=", &event.values}, {"OSTRANA_RESULT=", &event.result},   {"OSTRANA_REASON=", &event.reason}};
    for (const auto& [name, value] : named)
      if (!value->empty()) fields.push_back(name + *value);
    if (entry.repeats) fields.push_back("OSTRANA_REPEATS=" + std::to_string(entry.repeats));
    return fields;
  }

  static int Send(std::vector<std::string>& fields) {
    std::vector<iovec> parts;
    for (auto& field : fields) parts.push_back({field.data(), field.size()});
    return sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
  }

  // Once the first send has opened it, the library's socket is the one new
  // unnamed datagram socket of the process.
  static bool Unblock(const std::set<int>& before) {
    std::vector<int> opened;
    for (int fd : DatagramSockets())
      if (!before.count(fd)) opened.push_back(fd);
    if (opened.size() != 1) return false;
    const int flags = fcntl(opened[0], F_GETFL);
    return flags >= 0 && fcntl(opened[0], F_SETFL, flags | O_NONBLOCK) == 0;
  }

  std::shared_ptr<Opening> opening_;  // the first send's, shared with its thread
  bool opened_ = false;               // its outcome taken
  std::chrono::steady_clock::time_point window_;  // the second the waits for a full journal count in
  int waited_ = 0;                                // milliseconds of it
};

}  // namespace

std::unique_ptr<PlatformSink> OpenPlatformSink(const PlatformLogChoice& choice) {
  if (!choice.journal && !StderrIsJournal()) return nullptr;
  return std::make_unique<JournalSink>();
}

}  // namespace ostrana
