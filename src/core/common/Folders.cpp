#include "common/Folders.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/PathText.h"

namespace ostrana {

bool UsableFolder(const std::string& folder, std::string* why) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path place = PathOf(folder);
  fs::create_directories(place, error);
  if (error || !fs::is_directory(place, error)) {
    *why = "it cannot be created";
    return false;
  }
  // A probe file with a name no other run uses at the same time.
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path probe = place / (".ostrana-probe-" + std::to_string(stamp) + "-" + std::to_string(counter++));
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
