#include "face/GuideFile.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "common/PathText.h"

namespace ostrana::face {

std::string GuideFile(const std::string& programDir, const std::string& page, const std::string& installedDoc) {
  namespace fs = std::filesystem;
  const fs::path bin = PathOf(programDir);
  std::vector<fs::path> candidates{bin / page, bin / ".." / "doc" / page,
                                   bin / ".." / ".." / "share" / "doc" / "ostrana" / page};
  if (!installedDoc.empty()) candidates.push_back(PathOf(installedDoc) / page);
  candidates.push_back(bin / ".." / ".." / "README.md");
  for (auto candidate : candidates) {
    // "bin/../doc" read as written: the program's folder is its real one.
    candidate = candidate.lexically_normal();
    std::error_code error;
    if (!fs::is_regular_file(candidate, error)) continue;
    const fs::path canonical = fs::weakly_canonical(candidate, error);
    return TextOf(error ? candidate : canonical);
  }
  return "";
}

}  // namespace ostrana::face
