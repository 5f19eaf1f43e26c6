#include "support/JournalReceiver.h"

#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>

namespace ostrana::test {
namespace {

constexpr const char* kSocket = "/run/systemd/journal/socket";

JournalReceiver::Entry Parse(const std::string& data) {
  JournalReceiver::Entry entry;
  for (std::size_t at = 0; at < data.size();) {
    const std::size_t end = data.find('\n', at), equals = data.find('=', at);
    if (end == std::string::npos) break;
    if (equals < end) {  // NAME=value
      entry[data.substr(at, equals - at)] = data.substr(equals + 1, end - equals - 1);
      at = end + 1;
    } else {  // NAME, then the value's length as 64 bits, little-endian
      std::uint64_t length = 0;
      for (int i = 7; i >= 0 && end + 1 + i < data.size(); --i)
        length = length << 8 | static_cast<unsigned char>(data[end + 1 + i]);
      entry[data.substr(at, end - at)] = data.substr(end + 9, length);
      at = end + 9 + length + 1;
    }
  }
  return entry;
}

}  // namespace

bool JournalReceiver::Isolate(std::string* why) {
  if (geteuid() != 0) {
    *why = "not root: no mount namespace of the test's own";
  } else if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
             mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0) {
    *why = std::string("no namespace of the test's own: ") + std::strerror(errno);
  } else {
    std::filesystem::create_directories("/run/systemd/journal");
    return true;
  }
  return false;
}

JournalReceiver::JournalReceiver(bool reading) {
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, kSocket);
  unlink(kSocket);
  bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (reading) reader_ = std::thread([this] { Read(); });
}

JournalReceiver::~JournalReceiver() {
  stop_ = true;
  if (reader_.joinable()) reader_.join();
  close(fd_);
  unlink(kSocket);
}

void JournalReceiver::Read() {
  std::string buffer(1 << 20, '\0');
  while (!stop_) {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, 20) <= 0) continue;
    const ssize_t size = recv(fd_, buffer.data(), buffer.size(), 0);
    std::lock_guard guard(lock_);
    if (size > 0) entries_.push_back(Parse(buffer.substr(0, size)));
  }
}

std::vector<JournalReceiver::Entry> JournalReceiver::Entries() {
  std::lock_guard guard(lock_);
  return entries_;
}

std::vector<JournalReceiver::Entry> JournalReceiver::Where(const std::string& name, const std::string& value) {
  std::vector<Entry> found;
  for (auto& entry : Entries())
    if (entry.count(name) && entry[name] == value) found.push_back(entry);
  return found;
}

}  // namespace ostrana::test
