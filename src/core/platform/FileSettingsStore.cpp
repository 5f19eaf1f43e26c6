#include "platform/FileSettingsStore.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "common/EventLog.h"
#include "common/Folders.h"
#include "common/NewFile.h"
#include "common/PathText.h"

namespace ostrana::platform {
namespace {

namespace fs = std::filesystem;

// Every name the file may hold: the four written at exit, then the two read only.
constexpr const char* kNames[] = {"PortNumber", "xTopLeft", "yTopLeft", "Mute", "LogFile", "ListenAddress"};
constexpr int kLogFile = 4, kListenAddress = 5, kNameCount = 6;
// Far more than six settings and any comments need; a file beyond it is not
// taken into memory.
constexpr std::uintmax_t kLargest = 1 << 20;

// A "Name=value" line: its number and where its value lies in the file's text.
struct Entry {
  int line;
  std::string name;
  std::size_t valueBegin, valueEnd;  // blanks around it left out, quotes in
  std::string value;                 // quotes removed
};

struct Scan {
  std::vector<Entry> entries;
  std::vector<std::pair<int, std::string>> others;  // lines that are no setting, no comment, no blank
};

bool Blank(char c) { return c == ' ' || c == '\t'; }

Scan ScanText(const std::string& text) {
  Scan scan;
  int number = 0;
  // A UTF-8 mark first (Notepad writes one) is no part of the first name.
  for (std::size_t begin = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0; begin < text.size();) {
    // A line ends at LF, CR LF or a CR alone (an old Mac editor's): a file of
    // CRs only must not read as one comment line and lose its values.
    std::size_t end = std::min(text.find_first_of("\r\n", begin), text.size());
    const std::size_t next = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    ++number;
    while (begin < end && Blank(text[begin])) ++begin;
    while (end > begin && Blank(text[end - 1])) --end;
    const std::string line = text.substr(begin, end - begin);
    const std::size_t equals = line.find('=');
    const std::size_t lineBegin = std::exchange(begin, next);
    if (line.empty() || line[0] == '#' || line[0] == ';' || (line[0] == '[' && line.back() == ']')) continue;
    if (equals == std::string::npos) {
      scan.others.emplace_back(number, line);
      continue;
    }
    std::size_t nameEnd = equals, valueBegin = lineBegin + equals + 1;
    while (nameEnd > 0 && Blank(line[nameEnd - 1])) --nameEnd;
    while (valueBegin < end && Blank(text[valueBegin])) ++valueBegin;
    std::string value = text.substr(valueBegin, end - valueBegin);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    scan.entries.push_back({number, line.substr(0, nameEnd), valueBegin, end, std::move(value)});
  }
  return scan;
}

int NameIndex(const std::string& name) {
  for (int i = 0; i < kNameCount; ++i)
    if (name == kNames[i]) return i;
  return -1;
}

// The last line of each name: the one that counts.
std::array<const Entry*, kNameCount> Counting(const Scan& scan) {
  std::array<const Entry*, kNameCount> last{};
  for (const Entry& entry : scan.entries)
    if (const int i = NameIndex(entry.name); i >= 0) last[i] = &entry;
  return last;
}

// A whole number as the four values are kept; a DWORD's unsigned pattern
// (as the registry shows it) is taken too.
bool ParseNumber(const std::string& text, std::int32_t& number) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < INT32_MIN || value > UINT32_MAX) return false;
  number = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return true;
}

bool HasControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// What a path names to be written: through a symbolic link, the file it names.
bool Target(const fs::path& file, fs::path& target, std::string& why) {
  std::error_code ec;
  target = file;
  if (!fs::is_symlink(fs::symlink_status(file, ec))) return true;
  target = fs::canonical(file, ec);
  if (ec) why = "the link cannot be followed: " + ec.message();
  return !ec;
}

// The file's text, or "" when there is none; false (with the reason) when
// something is there that cannot be read as a file.
bool ReadWhole(const fs::path& file, std::string& text, std::string& why) {
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (ec) {
    why = ec.message();
    return false;
  }
  // A FIFO or a device is never opened: reading it could wait for ever.
  if (!fs::is_regular_file(status)) {
    why = "it is not a regular file";
    return false;
  }
  if (const auto size = fs::file_size(file, ec); !ec && size > kLargest) {
    why = "it is larger than a settings file can be (" + std::to_string(kLargest) + " bytes)";
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  if (in) out << in.rdbuf();
  if (!in || in.bad()) {
    why = std::generic_category().message(errno ? errno : EIO);
    return false;
  }
  text = out.str();
  return true;
}

// A file a person made read-only is theirs: it is not replaced.
bool OpensForWriting(const fs::path& file, std::string& why) {
  std::error_code ec;
  if (!fs::exists(file, ec) || std::ofstream(file, std::ios::binary | std::ios::app)) return true;
  why = "it cannot be opened for writing: " + std::generic_category().message(errno ? errno : EACCES);
  return false;
}

}  // namespace

std::string FileSettingsStore::Location() const { return TextOf(file_); }

Settings FileSettingsStore::Load() const {
  Settings settings;
  std::string text, why;
  if (!ReadWhole(file_, text, why)) {
    // What the file holds is not known, a listen address among it: closed.
    settings.problems.push_back("the settings file " + Location() + " cannot be read (" + why +
                                "): the defaults are used, the port listens on this computer only (127.0.0.1), "
                                "and nothing is saved in it");
    settings.listenAddress = "127.0.0.1";
    settings.unread.fill(true);
    return settings;
  }
  const Scan scan = ScanText(text);
  const auto at = [&](int line) { return Location() + ", line " + std::to_string(line) + ": "; };
  for (const auto& [line, other] : scan.others)
    settings.problems.push_back(at(line) + "'" + Printable(other) + "' is not Name=value: it is not used");
  for (const Entry& entry : scan.entries)
    if (NameIndex(entry.name) < 0)
      settings.problems.push_back(at(entry.line) + "'" + Printable(entry.name) +
                                  "' is not a setting of this program: it is not used");
  const auto counting = Counting(scan);
  const auto defaults = StoredValues(Settings{});
  for (int i = 0; i < 4; ++i) {
    const Entry* entry = counting[i];
    std::int32_t number = 0;
    if (!entry) continue;
    if (ParseNumber(entry->value, number)) {
      SetStoredValue(settings, i, number);
      continue;
    }
    settings.unread[i] = true;
    settings.problems.push_back(at(entry->line) + kNames[i] + " '" + Printable(entry->value) +
                                "' is not a whole number: " + std::to_string(defaults[i]) +
                                " is used, and the line is left as it is");
  }
  if (const Entry* entry = counting[kLogFile]) {
    if (HasControl(entry->value))
      settings.problems.push_back(at(entry->line) + "LogFile '" + Printable(entry->value) +
                                  "' holds a control character: the default log is used");
    else
      settings.logFile = entry->value;
  }
  if (const Entry* entry = counting[kListenAddress]) {
    settings.listenAddress = entry->value;
    settings.listenAddressAt = "line " + std::to_string(entry->line) + " of " + Location();
  }
  return settings;
}

bool FileSettingsStore::Save(const Settings& settings, std::string* why) const {
  if (std::all_of(settings.unread.begin(), settings.unread.end(), [](bool unread) { return unread; })) return true;
  fs::path target;
  std::string text;
  if (!Target(file_, target, *why) || !ReadWhole(target, text, *why)) return false;
  const Scan scan = ScanText(text);
  const auto counting = Counting(scan);
  const auto values = StoredValues(settings);
  // Each value in place, from the end of the text so that the places before stay.
  std::vector<std::pair<const Entry*, int>> inPlace;
  std::string added;
  const std::string end = text.find("\r\n") != std::string::npos                                ? "\r\n"
                          : text.find('\r') != std::string::npos && text.find('\n') == std::string::npos ? "\r"
                                                                                                        : "\n";
  for (int i = 0; i < 4; ++i) {
    if (settings.unread[i]) continue;
    if (counting[i])
      inPlace.emplace_back(counting[i], i);
    else
      added.append(kNames[i]).append("=").append(std::to_string(values[i])).append(end);
  }
  std::sort(inPlace.begin(), inPlace.end(), [](auto& a, auto& b) { return a.first->valueBegin > b.first->valueBegin; });
  std::string out = text;
  for (const auto& [entry, i] : inPlace)
    out.replace(entry->valueBegin, entry->valueEnd - entry->valueBegin, std::to_string(values[i]));
  if (text.empty()) out = "# Ostrana Connector's settings: one Name=value a line (the guide's Settings)" + end;
  if (!added.empty() && !out.empty() && out.back() != '\n' && out.back() != '\r') out += end;
  out += added;
  if (out == text) return true;
  return OpensForWriting(target, *why) && ReplaceFile(target, out, why);
}

bool FileSettingsStore::Writable(std::string* why) const {
  fs::path target;
  if (!Target(file_, target, *why)) return false;
  std::error_code ec;
  const fs::file_status status = fs::status(target, ec);
  if (fs::exists(status)) {
    if (!fs::is_regular_file(status)) {
      *why = "it is not a regular file";
      return false;
    }
    if (!OpensForWriting(target, *why)) return false;
  }
  // The new file is made beside it.
  return UsableFolder(target.has_parent_path() ? TextOf(target.parent_path()) : ".", why);
}

}  // namespace ostrana::platform
