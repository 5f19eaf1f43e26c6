#include "common/Folders.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace ostrana {

bool UsableFolder(const std::string& folder, std::string* why) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(fs::path(folder), error);
  if (error || !fs::is_directory(fs::path(folder), error)) {
    *why = "it cannot be created";
    return false;
  }
  // A probe file with a name no other run uses at the same time.
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path probe =
      fs::path(folder) / (".ostrana-probe-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  {
    std::ofstream file(probe, std::ios::binary | std::ios::trunc);
    if (!file) {
      const int code = errno;  // the system's reason, as the open left it
      *why = std::generic_category().message(code ? code : EACCES);
      return false;
    }
  }
  fs::remove(probe, error);
  return true;
}

}  // namespace ostrana
