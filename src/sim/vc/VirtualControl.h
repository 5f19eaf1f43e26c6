// The virtual control: a HEIDENHAIN TNC control good enough to run the
// connector against on a workstation. It owns a "TNC:" drive mapped to a
// folder, the tables on it, the machine state, injected faults, an optional
// latency per cell access and a log of cell accesses.
//
// Thread-safe: the connector's main thread, its polling worker and the NC
// console thread call it at the same time. One internal lock, never held
// while calling out or while sleeping.
//
// Durability: a table write is on disk (temporary file, then rename) before
// it returns, so every acknowledged value survives the process being killed
// and the .TAB file is complete at every moment.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/Mutex.h"
#include "dnc/Com.h"
#include "vc/DriveLinks.h"
#include "vc/TabTable.h"

namespace ostrana::vc {

// Every operation of the component, for fault injection.
enum class Op {
  CreateMachine,
  QueryConnection,
  Configure,
  SetProperty,
  ConnectionRequest,
  GetState,
  GetDataAccessObject,
  QueryDataAccess,
  GetFileSystemObject,
  QueryFileSystem,
  GetDataEntry,
  GetValue,
  SetValue,
  SelectDirectory,
  MakeDirectory,
  LookUpFile,
  TransmitFile,
  Disconnect,
};
inline constexpr int kOpCount = static_cast<int>(Op::Disconnect) + 1;

const char* OpName(Op op);
std::optional<Op> OpFromName(const std::string& name);
std::string OpNames();  // all names, blank separated, for help texts

// One cell access made through the component (not the NC side).
struct CellAccess {
  bool write = false;
  std::int32_t row = 0;
  double value = 0.0;  // the value written, or read (0 for a failed read)
  bool ok = true;
};

inline constexpr std::int32_t kMachineAvailable = 7;

class VirtualControl {
 public:
  explicit VirtualControl(std::filesystem::path driveRoot);

  const std::filesystem::path& DriveRoot() const { return root_; }
  // The drive's lock file, inside its folder (links resolved): one file
  // however the folder is named and whatever lies above it. No path of the
  // control's reaches it (MapPath), and no look-up finds it (FileExists).
  std::filesystem::path LockFile() const;
  // Removes the temporary files a killed run left on the drive (names of
  // the connector's own pattern only) and returns them. Only for the holder
  // of the drive's lock.
  std::vector<std::filesystem::path> RemoveStaleTemporaries();

  // Machine state as the component reports it (7 = available).
  void SetState(std::int32_t state) { state_.store(state); }
  std::int32_t State() const { return state_.load(); }

  // The next `count` calls of `op` fail with `status`.
  void InjectFault(Op op, int count, dnc::HRESULT status = dnc::kFail);
  // The next `count` accesses to one row of any table (read or write) fail.
  void InjectRowFault(std::int64_t row, int count, dnc::HRESULT status = dnc::kFail);
  // Every cell access made through the component fails with this
  // probability (0 to 1), drawn from a seeded generator: a flaky line.
  void SetRandomFaults(double probability, unsigned seed = 1);
  void ClearFaults();
  // kOk when the call may go on, else the injected failure (consumed).
  dnc::HRESULT TakeFault(Op op);
  dnc::HRESULT TakeRowFault(std::int64_t row);
  // kOk, or a failure drawn at the random fault rate (cell accesses).
  dnc::HRESULT DrawRandomFault();

  // Runs `action` (when set) each time a data-access object the component
  // handed out goes away, before its last release returns: a component in
  // another process may handle other work of its caller's while a release
  // crosses over. Run outside the control's lock, on the releasing thread.
  void OnDataAccessReleased(std::function<void()> action);
  void DataAccessReleased();

  // Latency added to every cell access made through the component.
  void SetLatency(std::chrono::microseconds latency) { latencyUs_.store(latency.count()); }
  void SleepLatency() const;

  void EnableAccessLog(bool on);
  std::vector<CellAccess> TakeAccessLog();
  void LogAccess(const CellAccess& access);
  std::uint64_t CellAccessCount() const { return accessCount_.load(); }

  // "TNC:\a\b" (or "TNC:/a/b") to a path under the drive folder; nullopt for
  // anything that is not on the drive or would leave it ("..", or a folder on
  // the drive that is a link to elsewhere).
  // `entry`, when given, receives what the path names.
  std::optional<std::filesystem::path> MapPath(const std::string& controlPath, DriveEntry* entry = nullptr) const;

  bool DirectoryExists(const std::string& controlPath) const;
  dnc::HRESULT MakeDirectory(const std::string& controlPath);
  bool FileExists(const std::string& controlDirectory, const std::string& name) const;
  // Copies a workstation file onto the drive (atomically replacing).
  dnc::HRESULT Transmit(const std::string& workstationPath, const std::string& controlPath);

  // Cell access without faults or latency: the NC program's own view.
  dnc::HRESULT ReadCell(const std::string& tablePath, std::int64_t row, const std::string& column, dnc::Variant* out);
  dnc::HRESULT WriteCell(const std::string& tablePath, std::int64_t row, const std::string& column,
                         const dnc::Variant& value);
  // Runs `edit` on the table under the lock and saves once when it returns
  // true. `edit` must not call back into the control.
  dnc::HRESULT EditTable(const std::string& tablePath, const std::function<bool(TabTable&)>& edit);
  dnc::HRESULT ViewTable(const std::string& tablePath, const std::function<void(const TabTable&)>& view);

 private:
  struct CachedTable {
    TabTable table;
    DriveEntry seen;  // the file as it was when read or written
  };
  // `entry`: the file as MapPath found it.
  CachedTable* LoadLocked(const std::filesystem::path& file, const DriveEntry& entry, dnc::HRESULT* status)
      REQUIRES(lock_);
  dnc::HRESULT SaveLocked(const std::filesystem::path& file, CachedTable& cached) REQUIRES(lock_);
  // EditTable (`edit`) or ViewTable (`view`): the other is null.
  dnc::HRESULT AccessTable(const std::string& tablePath, const std::function<bool(TabTable&)>* edit,
                           const std::function<void(const TabTable&)>* view);

  std::filesystem::path root_;
  std::filesystem::path canonicalRoot_;  // links resolved: what "on the drive" means
  std::atomic<std::int32_t> state_{kMachineAvailable};
  std::atomic<std::int64_t> latencyUs_{0};
  std::atomic<std::uint64_t> accessCount_{0};

  mutable Mutex lock_;  // guards everything below
  struct Fault {
    int remaining = 0;
    dnc::HRESULT status = dnc::kFail;
  };
  Fault faults_[kOpCount] GUARDED_BY(lock_);
  std::map<std::int64_t, Fault> rowFaults_ GUARDED_BY(lock_);
  double randomFaultRate_ GUARDED_BY(lock_) = 0.0;
  std::uint64_t randomState_ GUARDED_BY(lock_) = 1;
  std::function<void()> onDataAccessReleased_ GUARDED_BY(lock_);
  bool logging_ GUARDED_BY(lock_) = false;
  std::vector<CellAccess> log_ GUARDED_BY(lock_);
  std::map<std::filesystem::path, CachedTable> tables_ GUARDED_BY(lock_);
};

// Writes `text` to `file` through a new temporary file beside it and a
// rename; on failure `why` (when given) holds the system's reason. A file
// already there keeps its mode; one that no one may write (no write bit) is
// not written, whoever asks.
bool WriteFileAtomically(const std::filesystem::path& file, const std::string& text, std::string* why = nullptr);
// The temporary files: ".<file>.ostrana-<16 hexadecimal digits>.tmp".
std::filesystem::path TemporaryName(const std::filesystem::path& file);
bool IsTemporaryName(const std::string& name);

// Converts between a cell's text and the value the component hands out:
// empty -> Empty, an integer -> I4, another number -> R8, anything else -> Text.
dnc::Variant CellToVariant(const std::string& text);
std::string VariantToCell(const dnc::Variant& value);

}  // namespace ostrana::vc
