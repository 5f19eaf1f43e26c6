// A journal of the test's own where sd_journal_send writes: this thread
// enters a mount namespace of its own with an empty /run (a tmpfs), where a
// datagram socket bound at /run/systemd/journal/socket takes the entries in
// the journal's native format (NAME=value, or, when the value holds a line
// feed, NAME, its length in 8 bytes little-endian, the value), or as a
// memfd passed along when they do not fit. Threads this thread starts
// afterwards, and the programs it runs, see the same /run. Linux, as root.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ostrana::test {

class JournalReceiver {
 public:
  using Entry = std::map<std::string, std::string>;
  // The namespace and the empty /run (private first: the tmpfs must not reach
  // the rest of the machine); false with `why` when they cannot be had.
  static bool Isolate(std::string* why) {
    if (geteuid() != 0)
      *why = "not root: no mount namespace of the test's own";
    else if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
             mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0)
      *why = std::string("no mount namespace of the test's own: ") + std::strerror(errno);
    else
      return std::filesystem::create_directories("/run/systemd/journal");
    return false;
  }
  // Binds the socket; with `reading` a thread takes what comes, else nothing is read.
  explicit JournalReceiver(bool reading) : fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{AF_UNIX, "/run/systemd/journal/socket"};
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    if (reading) reader_ = std::thread([this] { Read(); });
  }
  ~JournalReceiver() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    close(fd_);
    unlink("/run/systemd/journal/socket");
  }
  // The entries taken so far whose field `name` is `value`.
  std::vector<Entry> Where(const std::string& name, const std::string& value) {
    std::lock_guard guard(lock_);
    std::vector<Entry> found;
    for (const Entry& entry : entries_)
      if (entry.count(name) && entry.at(name) == value) found.push_back(entry);
    return found;
  }

 private:
  void Read() {
    std::string data(1 << 20, '\0');
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    iovec part{data.data(), data.size()};
    for (pollfd ready{fd_, POLLIN, 0}; !stop_;) {
      msghdr message{nullptr, 0, &part, 1, control, sizeof control, 0};
      ssize_t size = poll(&ready, 1, 20) > 0 ? recvmsg(fd_, &message, 0) : -1;
      // An entry the sender's socket had no room for comes as a memfd.
      if (const cmsghdr* passed = size == 0 ? CMSG_FIRSTHDR(&message) : nullptr) {
        const int memfd = *reinterpret_cast<const int*>(CMSG_DATA(passed));
        size = pread(memfd, data.data(), data.size(), 0);
        close(memfd);
      }
      Entry entry;
      for (std::size_t at = 0, end; size > 0 && (end = data.find('\n', at)) < std::size_t(size);) {
        // NAME=value, or NAME, the value's length in 8 bytes, the value.
        const std::size_t equals = data.find('=', at), name = equals < end ? equals : end,
                          from = equals < end ? name + 1 : end + 9;
        std::uint64_t length = equals < end ? end - from : 0;
        for (int i = 8; equals > end && i >= 1; --i) length = length << 8 | static_cast<unsigned char>(data[end + i]);
        entry[data.substr(at, name - at)] = data.substr(from, length);
        at = from + length + 1;
      }
      std::lock_guard guard(lock_);
      if (size > 0) entries_.push_back(entry);
    }
  }
  int fd_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<Entry> entries_;
  std::thread reader_;
};

}  // namespace ostrana::test
