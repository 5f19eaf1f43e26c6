#include <algorithm>

#include "vc/DriveLinks.h"

namespace ostrana::vc {

std::optional<DriveEntry> LookOnDrive(const std::filesystem::path& root, const std::filesystem::path& canonicalRoot,
                                      const std::vector<std::string>& parts) {
  std::filesystem::path path = root;
  for (const std::string& part : parts) path /= part;
  // Resolved, the path must still begin with the drive's folder.
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
  if (ec) return std::nullopt;
  if (std::mismatch(canonicalRoot.begin(), canonicalRoot.end(), real.begin(), real.end()).first != canonicalRoot.end())
    return std::nullopt;
  return EntryOf(path);
}

DriveEntry EntryOf(const std::filesystem::path& file) {
  std::error_code ec;
  const auto stamp = std::filesystem::last_write_time(file, ec);
  if (ec) return {};
  const auto size = std::filesystem::file_size(file, ec);
  if (ec) return {};
  return {true, static_cast<std::int64_t>(stamp.time_since_epoch().count()), size};
}

}  // namespace ostrana::vc
