#include <sys/stat.h>

#include <cerrno>

#include "vc/DriveLinks.h"

namespace ostrana::vc {

namespace {
DriveEntry FromStat(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return {};
  return {true, static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
          static_cast<std::uintmax_t>(st.st_size)};
}
}  // namespace

std::optional<DriveEntry> LookOnDrive(const std::filesystem::path& root, const std::filesystem::path&,
                                      const std::vector<std::string>& parts) {
  // The drive's folder itself may be reached through links (it was chosen
  // so); nothing below it may be one. Each name is looked at without
  // following it, from the top down, so the first link ends the walk.
  std::string path = root.string();
  struct stat st {};
  if (parts.empty()) return ::stat(path.c_str(), &st) == 0 ? FromStat(st) : DriveEntry{};
  for (const std::string& part : parts) {
    path += '/';
    path += part;
    if (::lstat(path.c_str(), &st) != 0) {
      // Missing: nothing below it exists. Below a file: the access fails.
      if (errno == ENOENT || errno == ENOTDIR) return DriveEntry{};
      return std::nullopt;
    }
    if (S_ISLNK(st.st_mode)) return std::nullopt;
  }
  return FromStat(st);
}

DriveEntry EntryOf(const std::filesystem::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? FromStat(st) : DriveEntry{};
}

}  // namespace ostrana::vc
