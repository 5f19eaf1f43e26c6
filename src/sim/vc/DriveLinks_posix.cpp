#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "vc/DriveLinks.h"

namespace ostrana::vc {

namespace {
// `name` in the folder `dir` is a link (not followed); false when it is not
// there or anything else.
bool IsLink(int dir, const std::string& name) {
  struct stat st {};
  return ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}
}  // namespace

bool StaysOnDrive(const std::filesystem::path& root, const std::filesystem::path&,
                  const std::vector<std::string>& parts) {
  if (parts.empty()) return true;
  // The drive's folder itself may be reached through links (it was chosen so);
  // nothing below it may be one.
  int dir = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno == ENOENT;  // no drive yet: nothing on it leads anywhere
  bool stays = true;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const int next = ::openat(dir, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      // Missing: nothing below it exists. Not a folder: a link, or a file
      // the access then fails on.
      stays = errno == ENOENT || (errno == ENOTDIR && !IsLink(dir, parts[i]));
      ::close(dir);
      return stays;
    }
    ::close(dir);
    dir = next;
  }
  stays = !IsLink(dir, parts.back());
  ::close(dir);
  return stays;
}

}  // namespace ostrana::vc
