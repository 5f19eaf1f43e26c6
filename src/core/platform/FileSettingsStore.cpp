#include "platform/FileSettingsStore.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/Folders.h"

namespace ostrana::platform {

Settings FileSettingsStore::Load() const {
  Settings settings;
  std::ifstream in(std::filesystem::u8path(file_));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
    if (name == "LogFile") settings.logFile = value;
    if (name == "ListenAddress") settings.listenAddress = value;
    for (int i = 0; i < 4; ++i) {
      if (name != kStoredNames[i]) continue;
      long long number = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
      // A DWORD read back may come as its unsigned pattern.
      if (error == std::errc() && end == value.data() + value.size() && number >= INT32_MIN && number <= UINT32_MAX)
        SetStoredValue(settings, i, static_cast<std::int32_t>(static_cast<std::uint32_t>(number)));
    }
  }
  return settings;
}

void FileSettingsStore::Save(const Settings& settings) const {
  // The values written at exit replace theirs; other lines (LogFile,
  // ListenAddress, anything of the user's) stay.
  std::vector<std::string> kept;
  {
    std::ifstream in(std::filesystem::u8path(file_));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string name = line.substr(0, line.find('='));
      bool ours = line == "[General]";
      for (const char* n : kStoredNames) ours = ours || name == n;
      if (!ours && !line.empty()) kept.push_back(line);
    }
  }
  const auto values = StoredValues(settings);
  std::ostringstream out;
  out << "[General]\n";
  for (const auto& line : kept) out << line << "\n";
  for (int i = 0; i < 4; ++i) out << kStoredNames[i] << "=" << values[i] << "\n";
  std::ofstream(std::filesystem::u8path(file_), std::ios::binary | std::ios::trunc) << out.str();
}

bool FileSettingsStore::Writable(std::string* why) const {
  const std::filesystem::path path = std::filesystem::u8path(file_);
  if (std::filesystem::exists(path)) {
    std::ofstream probe(path, std::ios::app);
    if (probe) return true;
    *why = "it cannot be opened for writing";
    return false;
  }
  return UsableFolder(path.has_parent_path() ? path.parent_path().string() : ".", why);
}

}  // namespace ostrana::platform
