#include <algorithm>

#include "vc/DriveLinks.h"

namespace ostrana::vc {

bool StaysOnDrive(const std::filesystem::path& root, const std::filesystem::path& canonicalRoot,
                  const std::vector<std::string>& parts) {
  std::filesystem::path path = root;
  for (const std::string& part : parts) path /= part;
  // Resolved, the path must still begin with the drive's folder.
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
  if (ec) return false;
  return std::mismatch(canonicalRoot.begin(), canonicalRoot.end(), real.begin(), real.end()).first ==
         canonicalRoot.end();
}

}  // namespace ostrana::vc
