#include "vc/VirtualControl.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>

#include "common/NewFile.h"
#include "common/PathText.h"

namespace ostrana::vc {
namespace fs = std::filesystem;
using dnc::HRESULT;

namespace {

const char* const kOpNames[kOpCount] = {
    "create",      "query-connection", "configure",    "set-property", "request",   "get-state",
    "object-data", "query-data",       "object-files", "query-files",  "get-entry", "get-value",
    "set-value",   "select-dir",       "make-dir",     "lookup",       "transmit",  "disconnect",
};

const char* const kDriveLockName = ".ostrana.lock";

// Whether a name on the drive's top folder is the lock file, read as the
// Windows file system reads names too: in any case, trailing dots and blanks
// ignored, a stream (":...") the file's own.
bool IsDriveLockName(std::string_view name) {
  name = name.substr(0, name.find(':'));
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  const std::string_view lock = kDriveLockName;
  return std::equal(name.begin(), name.end(), lock.begin(), lock.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

std::optional<std::string> ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

const char* OpName(Op op) { return kOpNames[static_cast<int>(op)]; }

std::optional<Op> OpFromName(const std::string& name) {
  for (int i = 0; i < kOpCount; ++i)
    if (name == kOpNames[i]) return static_cast<Op>(i);
  return std::nullopt;
}

std::string OpNames() {
  std::string all;
  for (int i = 0; i < kOpCount; ++i) {
    if (i) all += ' ';
    all += kOpNames[i];
  }
  return all;
}

bool WriteFileAtomically(const fs::path& file, const std::string& text, std::string* why) {
  // A name of the connector's own pattern beside the file, made where
  // nothing is: a link planted at a guessable name cannot redirect the write.
  // A file the user made read-only is left as it is, whoever runs the
  // connector: its mode is looked at, as root's writes pass any open. A file
  // rewritten keeps its mode.
  std::error_code ec;
  const fs::file_status was = fs::status(file, ec);
  const fs::perms mode = was.permissions() & fs::perms::all;
  const fs::perms anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (fs::exists(was) && (mode & anyWrite) == fs::perms::none) {
    if (why) *why = "it is read-only";
    return false;
  }
  const fs::path temp = TemporaryName(file);
  if (!WriteNewFile(TextOf(temp), text, why)) return false;
  ec.clear();
  if (fs::exists(was)) fs::permissions(temp, mode, ec);
  if (!ec) fs::rename(temp, file, ec);
  if (!ec) return true;
  if (why) *why = ec.message();
  fs::remove(temp, ec);
  return false;
}

fs::path TemporaryName(const fs::path& file) {
  std::string name = ".";  // appended, not "." + ...: mingw's GCC 12 warns falsely of an overlap there
  name += TextOf(file.filename()) + ".ostrana-" + RandomName() + ".tmp";
  return file.parent_path() / PathOf(name);
}

bool IsTemporaryName(const std::string& name) {
  // ".<file>.ostrana-<16 hexadecimal digits>.tmp"
  static const std::string middle = ".ostrana-", tail = ".tmp";
  const std::size_t size = name.size();
  if (size < 1 + 1 + middle.size() + 16 + tail.size() || name[0] != '.') return false;
  if (name.compare(size - tail.size(), tail.size(), tail) != 0) return false;
  const std::size_t digits = size - tail.size() - 16;
  if (name.compare(digits - middle.size(), middle.size(), middle) != 0) return false;
  return name.find_first_not_of("0123456789abcdef", digits) == size - tail.size();
}

dnc::Variant CellToVariant(const std::string& text) {
  if (text.empty()) return {};
  std::int32_t integer = 0;
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(first, last, integer);
  if (ec == std::errc() && ptr == last) return dnc::Variant::FromI4(integer);
  if (auto number = ParseNumber(text)) return dnc::Variant::FromR8(*number);
  return dnc::Variant::FromText(text);
}

std::string VariantToCell(const dnc::Variant& value) {
  using T = dnc::Variant::Type;
  switch (value.type) {
    case T::I2: return std::to_string(value.i2);
    case T::I4: return std::to_string(value.i4);
    case T::UI4: return std::to_string(value.ui4);
    case T::R4: return FormatNumber(value.r4);
    case T::R8: return FormatNumber(value.r8);
    case T::Text: return value.text;
    default: return {};
  }
}

VirtualControl::VirtualControl(fs::path driveRoot) : root_(std::move(driveRoot)) {
  std::error_code ec;
  fs::create_directories(root_, ec);
  canonicalRoot_ = fs::weakly_canonical(root_, ec);
}

fs::path VirtualControl::LockFile() const { return (canonicalRoot_.empty() ? root_ : canonicalRoot_) / kDriveLockName; }

std::vector<fs::path> VirtualControl::RemoveStaleTemporaries() {
  // A run killed between writing a table's temporary file and renaming it
  // leaves it behind. Only names of the connector's own pattern are taken;
  // the caller holds the drive's lock, so no write of another run is in flight.
  std::error_code ec;
  std::vector<fs::path> stale;
  for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (IsTemporaryName(TextOf(it->path().filename())) && it->is_regular_file(ec)) stale.push_back(it->path());
  std::vector<fs::path> removed;
  for (const auto& file : stale)
    if (fs::remove(file, ec)) removed.push_back(file);
  return removed;
}

void VirtualControl::InjectFault(Op op, int count, HRESULT status) {
  MutexLock guard(lock_);
  faults_[static_cast<int>(op)] = Fault{count, status};
}

void VirtualControl::InjectRowFault(std::int64_t row, int count, HRESULT status) {
  MutexLock guard(lock_);
  rowFaults_[row] = Fault{count, status};
}

void VirtualControl::SetRandomFaults(double probability, unsigned seed) {
  MutexLock guard(lock_);
  randomFaultRate_ = probability;
  randomState_ = seed ? seed : 1;
}

HRESULT VirtualControl::DrawRandomFault() {
  MutexLock guard(lock_);
  if (randomFaultRate_ <= 0.0) return dnc::kOk;
  // xorshift64*: small, fast and plenty for fault injection
  randomState_ ^= randomState_ >> 12;
  randomState_ ^= randomState_ << 25;
  randomState_ ^= randomState_ >> 27;
  const double draw = static_cast<double>((randomState_ * 2685821657736338717ULL) >> 11) / 9007199254740992.0;
  return draw < randomFaultRate_ ? dnc::kFail : dnc::kOk;
}

void VirtualControl::ClearFaults() {
  MutexLock guard(lock_);
  for (auto& f : faults_) f = Fault{};
  rowFaults_.clear();
  randomFaultRate_ = 0.0;
}

void VirtualControl::OnDataAccessReleased(std::function<void()> action) {
  MutexLock guard(lock_);
  onDataAccessReleased_ = std::move(action);
}

void VirtualControl::DataAccessReleased() {
  std::function<void()> action;
  {
    MutexLock guard(lock_);
    action = onDataAccessReleased_;
  }
  if (action) action();
}

HRESULT VirtualControl::TakeRowFault(std::int64_t row) {
  MutexLock guard(lock_);
  auto it = rowFaults_.find(row);
  if (it == rowFaults_.end() || it->second.remaining <= 0) return dnc::kOk;
  --it->second.remaining;
  return it->second.status;
}

HRESULT VirtualControl::TakeFault(Op op) {
  MutexLock guard(lock_);
  Fault& f = faults_[static_cast<int>(op)];
  if (f.remaining <= 0) return dnc::kOk;
  --f.remaining;
  return f.status;
}

void VirtualControl::SleepLatency() const {
  const auto us = latencyUs_.load();
  if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));
}

void VirtualControl::EnableAccessLog(bool on) {
  MutexLock guard(lock_);
  logging_ = on;
  log_.clear();
}

std::vector<CellAccess> VirtualControl::TakeAccessLog() {
  MutexLock guard(lock_);
  return std::exchange(log_, {});
}

void VirtualControl::LogAccess(const CellAccess& access) {
  accessCount_.fetch_add(1, std::memory_order_relaxed);
  MutexLock guard(lock_);
  if (logging_) log_.push_back(access);
}

std::optional<fs::path> VirtualControl::MapPath(const std::string& controlPath, DriveEntry* entry) const {
  std::string rest = controlPath;
  const std::string drive = "TNC:";
  if (rest.size() < drive.size()) return std::nullopt;
  for (std::size_t i = 0; i < drive.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(rest[i])) != drive[i]) return std::nullopt;
  rest.erase(0, drive.size());
  fs::path result = root_;
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&]() -> bool {
    if (part == ".." || part.find('\0') != std::string::npos) return false;
    if (!part.empty() && part != ".") {
      result /= PathOf(part);
      parts.push_back(part);
    }
    part.clear();
    return true;
  };
  for (char ch : rest) {
    if (ch == '\\' || ch == '/') {
      if (!flush()) return std::nullopt;
    } else {
      part += ch;
    }
  }
  if (!flush()) return std::nullopt;
  // The lock is the connector's, not the control's: a table written over it
  // (a rename) would free the drive for a second run.
  if (parts.size() == 1 && IsDriveLockName(parts[0])) return std::nullopt;
  // A folder on the drive that is a link leading elsewhere does not take the
  // path off the drive.
  const auto found = LookOnDrive(root_, canonicalRoot_, parts);
  if (!found) return std::nullopt;
  if (entry) *entry = *found;
  return result;
}

bool VirtualControl::DirectoryExists(const std::string& controlPath) const {
  auto dir = MapPath(controlPath);
  std::error_code ec;
  return dir && fs::is_directory(*dir, ec);
}

HRESULT VirtualControl::MakeDirectory(const std::string& controlPath) {
  auto dir = MapPath(controlPath);
  if (!dir) return dnc::kInvalidArg;
  std::error_code ec;
  if (fs::is_directory(*dir, ec)) return dnc::kFail;  // exists already, as a control says
  if (!fs::is_directory(dir->parent_path(), ec)) {
    dnc::SetFailureText("the folder " + TextOf(dir->parent_path()) + " does not exist");
    return dnc::kPathNotFound;
  }
  if (fs::create_directory(*dir, ec)) return dnc::kOk;
  dnc::SetFailureText("the folder " + TextOf(*dir) + " cannot be created: " + ec.message());
  return dnc::kFail;
}

bool VirtualControl::FileExists(const std::string& controlDirectory, const std::string& name) const {
  if (name.find('\\') != std::string::npos || name.find('/') != std::string::npos) return false;
  auto dir = MapPath(controlDirectory);
  std::error_code ec;
  if (!dir || name.empty() || name == ".." || (*dir == root_ && IsDriveLockName(name))) return false;
  return fs::is_regular_file(*dir / name, ec);
}

HRESULT VirtualControl::Transmit(const std::string& workstationPath, const std::string& controlPath) {
  auto target = MapPath(controlPath);
  if (!target) return dnc::kInvalidArg;
  std::error_code ec;
  if (!fs::is_directory(target->parent_path(), ec)) {
    dnc::SetFailureText("the folder " + TextOf(target->parent_path()) + " does not exist");
    return dnc::kPathNotFound;
  }
  auto text = ReadFile(PathOf(workstationPath));
  if (!text) {
    dnc::SetFailureText("the table template " + workstationPath + " cannot be read");
    return dnc::kFileNotFound;
  }
  MutexLock guard(lock_);
  std::string why;
  if (!WriteFileAtomically(*target, *text, &why)) {
    dnc::SetFailureText(TextOf(*target) + " cannot be written: " + why);
    return dnc::kFail;
  }
  tables_.erase(*target);
  return dnc::kOk;
}

VirtualControl::CachedTable* VirtualControl::LoadLocked(const fs::path& file, const DriveEntry& entry,
                                                        HRESULT* status) {
  if (!entry.file) {
    tables_.erase(file);
    *status = dnc::kFileNotFound;
    return nullptr;
  }
  auto it = tables_.find(file);
  if (it != tables_.end() && it->second.seen.stamp == entry.stamp && it->second.seen.size == entry.size)
    return &it->second;
  // Changed on disk (or never seen): read it again.
  auto text = ReadFile(file);
  std::string why = "cannot be read";
  auto table = text ? TabTable::Parse(*text, &why) : std::nullopt;
  if (!table) {
    tables_.erase(file);
    dnc::SetFailureText("the table " + TextOf(file) + " is damaged: " + why);
    *status = dnc::kFail;
    return nullptr;
  }
  auto& cached = tables_[file];
  cached = CachedTable{std::move(*table), entry};
  return &cached;
}

HRESULT VirtualControl::SaveLocked(const fs::path& file, CachedTable& cached) {
  const std::string text = cached.table.Serialize();
  std::string why;
  if (!WriteFileAtomically(file, text, &why)) {
    tables_.erase(file);  // the file still holds the old content; read it again next time
    dnc::SetFailureText("the table " + TextOf(file) + " cannot be written: " + why);
    return dnc::kFail;
  }
  cached.seen = EntryOf(file);
  return dnc::kOk;
}

HRESULT VirtualControl::EditTable(const std::string& tablePath, const std::function<bool(TabTable&)>& edit) {
  return AccessTable(tablePath, &edit, nullptr);
}

HRESULT VirtualControl::ViewTable(const std::string& tablePath, const std::function<void(const TabTable&)>& view) {
  return AccessTable(tablePath, nullptr, &view);
}

HRESULT VirtualControl::AccessTable(const std::string& tablePath, const std::function<bool(TabTable&)>* edit,
                                    const std::function<void(const TabTable&)>* view) {
  DriveEntry entry;
  auto file = MapPath(tablePath, &entry);
  if (!file) return dnc::kInvalidArg;
  MutexLock guard(lock_);
  HRESULT status = dnc::kOk;
  CachedTable* cached = LoadLocked(*file, entry, &status);
  if (!cached) return status;
  if (view) {
    (*view)(cached->table);
    return dnc::kOk;
  }
  TabTable copy = cached->table;  // the cache changes only once the file does
  if (!(*edit)(copy)) return dnc::kInvalidArg;
  std::swap(cached->table, copy);
  return SaveLocked(*file, *cached);
}

HRESULT VirtualControl::ReadCell(const std::string& tablePath, std::int64_t row, const std::string& column,
                                 dnc::Variant* out) {
  std::optional<std::string> cell;
  bool hasColumn = false;
  const HRESULT hr = ViewTable(tablePath, [&](const TabTable& t) {
    cell = t.Cell(row, column);
    hasColumn = t.HasColumn(column);
  });
  if (dnc::Failed(hr)) return hr;
  if (!cell) {
    dnc::SetFailureText("the table " + TextOf(*MapPath(tablePath)) + " has no " +
                        (hasColumn ? "row " + std::to_string(row) : "column " + column));
    return dnc::kInvalidArg;
  }
  *out = CellToVariant(*cell);
  return dnc::kOk;
}

HRESULT VirtualControl::WriteCell(const std::string& tablePath, std::int64_t row, const std::string& column,
                                  const dnc::Variant& value) {
  const std::string text = VariantToCell(value);
  return EditTable(tablePath, [&](TabTable& t) { return t.SetCell(row, column, text); });
}

}  // namespace ostrana::vc
