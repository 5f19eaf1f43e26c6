// A journal of the test's own where sd_journal_send writes: this thread
// enters a mount namespace of its own with an empty /run (a tmpfs), and a
// datagram socket bound at /run/systemd/journal/socket takes the entries
// in the journal's native format (a field as NAME=value, or, when the value
// holds a line feed, NAME, its length in 8 bytes and the value; the
// entries here fit a datagram, so none comes as a memfd). Threads that this thread
// starts afterwards, and the programs it runs, see the same /run.
// Linux, as root (CI); the tests skip elsewhere.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ostrana::test {

class JournalReceiver {
 public:
  using Entry = std::map<std::string, std::string>;
  // The namespace and the empty /run; false with `why` when they cannot be had.
  static bool Isolate(std::string* why);
  // Binds the socket; with `reading`, a thread of its own takes what comes,
  // else nothing is ever read (a journal that has stopped).
  explicit JournalReceiver(bool reading);
  ~JournalReceiver();
  std::vector<Entry> Entries();
  // Entries whose field `name` is `value`.
  std::vector<Entry> Where(const std::string& name, const std::string& value);

 private:
  void Read();
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<Entry> entries_;
  std::thread reader_;
};

}  // namespace ostrana::test
