#include "common/NewFile.h"

#include <cstdio>
#include <random>
#include <system_error>

#include "common/PathText.h"

namespace ostrana {

std::string RandomName() {
  std::random_device random;
  char text[17];
  std::snprintf(text, sizeof text, "%08x%08x", static_cast<unsigned>(random()), static_cast<unsigned>(random()));
  return text;
}

bool ReplaceFile(const std::filesystem::path& file, const std::string& text, std::string* why) {
  namespace fs = std::filesystem;
  std::string name = ".";  // (built in steps: GCC 12 warns falsely on "." + a string)
  name += TextOf(file.filename());
  name += ".ostrana-" + RandomName() + ".tmp";
  const fs::path temp = file.parent_path() / name;
  if (!WriteNewFile(TextOf(temp), text, why)) return false;
  std::error_code ec, missing;
  const fs::file_status old = fs::status(file, missing);
  if (fs::exists(old)) fs::permissions(temp, old.permissions(), ec);
  if (!ec) fs::rename(temp, file, ec);
  if (!ec) return true;
  if (why) *why = ec.message();
  fs::remove(temp, ec);
  return false;
}

}  // namespace ostrana
