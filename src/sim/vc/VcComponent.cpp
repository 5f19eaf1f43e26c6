#include "vc/VcComponent.h"

#include <atomic>
#include <charconv>
#include <mutex>

namespace ostrana::vc {
using dnc::HRESULT;
using dnc::InterfaceId;

namespace {

// State of one DNC session, shared by the machine object and what it hands out.
struct Session {
  std::atomic<bool> open{false};
  std::atomic<std::uint64_t> generation{0};
};

template <class T>
HRESULT Hand(T* object, void** out) {
  object->AddRef();
  *out = object;
  return dnc::kOk;
}

class VcConnection final : public dnc::RefCounted<dnc::IJHConnection2> {
 public:
  explicit VcConnection(VirtualControl& control) : control_(control) {}
  HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid == InterfaceId::Connection2 || iid == InterfaceId::Unknown) return Hand(this, out);
    return dnc::kNoInterface;
  }
  HRESULT Configure(std::int32_t, std::int32_t) override { return control_.TakeFault(Op::Configure); }
  HRESULT SetProperty(std::int32_t index, const dnc::Variant& value) override {
    const HRESULT hr = control_.TakeFault(Op::SetProperty);
    if (dnc::Failed(hr)) return hr;
    std::lock_guard guard(lock_);
    if (index == 0 && value.type == dnc::Variant::Type::Text)
      host_ = value.text;
    else if (index == 1 && value.type == dnc::Variant::Type::UI4)
      number_ = value.ui4;
    else
      return dnc::kInvalidArg;
    return dnc::kOk;
  }

 private:
  VirtualControl& control_;
  std::mutex lock_;
  std::string host_;
  std::uint32_t number_ = 0;
};

class VcDataEntry final : public dnc::RefCounted<dnc::IDataEntry> {
 public:
  VcDataEntry(VirtualControl& control, dnc::IUnknown* machine, Session& session, std::uint64_t generation,
              DataPath path)
      : control_(control), machine_(machine), session_(session), generation_(generation), path_(std::move(path)) {
    machine_->AddRef();
  }
  ~VcDataEntry() override { machine_->Release(); }
  HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid == InterfaceId::DataEntry || iid == InterfaceId::Unknown) return Hand(this, out);
    return dnc::kNoInterface;
  }
  HRESULT GetValue(std::int32_t, dnc::Variant* out) override {
    if (!out) return dnc::kPointer;
    control_.SleepLatency();
    HRESULT hr = Alive() ? control_.TakeFault(Op::GetValue) : dnc::kNotConnected;
    if (dnc::Succeeded(hr)) hr = control_.TakeRowFault(path_.row);
    if (dnc::Succeeded(hr)) hr = control_.DrawRandomFault();
    if (dnc::Succeeded(hr)) hr = control_.ReadCell(path_.table, path_.row, path_.column, out);
    const bool ok = dnc::Succeeded(hr);
    control_.LogAccess({false, static_cast<std::int32_t>(path_.row),
                        ok && out->type == dnc::Variant::Type::R8   ? out->r8
                        : ok && out->type == dnc::Variant::Type::I4 ? out->i4
                                                                    : 0.0,
                        ok});
    return hr;
  }
  HRESULT SetValue(std::int32_t, const dnc::Variant& value, std::int32_t) override {
    control_.SleepLatency();
    HRESULT hr = Alive() ? control_.TakeFault(Op::SetValue) : dnc::kNotConnected;
    if (dnc::Succeeded(hr)) hr = control_.TakeRowFault(path_.row);
    if (dnc::Succeeded(hr)) hr = control_.DrawRandomFault();
    if (dnc::Succeeded(hr)) hr = control_.WriteCell(path_.table, path_.row, path_.column, value);
    control_.LogAccess({true, static_cast<std::int32_t>(path_.row),
                        value.type == dnc::Variant::Type::R8 ? value.r8 : 0.0, dnc::Succeeded(hr)});
    return hr;
  }

 private:
  bool Alive() const { return session_.open.load() && session_.generation.load() == generation_; }
  VirtualControl& control_;
  dnc::IUnknown* machine_;  // keeps the session alive
  Session& session_;
  std::uint64_t generation_;
  DataPath path_;
};

class VcDataAccess final : public dnc::RefCounted<dnc::IJHDataAccess> {
 public:
  VcDataAccess(VirtualControl& control, dnc::IUnknown* machine, Session& session, std::uint64_t generation)
      : control_(control), machine_(machine), session_(session), generation_(generation) {
    machine_->AddRef();
  }
  ~VcDataAccess() override {
    control_.DataAccessReleased();
    machine_->Release();
  }
  HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid == InterfaceId::DataAccess || iid == InterfaceId::Unknown) {
      const HRESULT hr = control_.TakeFault(Op::QueryDataAccess);
      return dnc::Failed(hr) ? hr : Hand(this, out);
    }
    return dnc::kNoInterface;
  }
  HRESULT GetDataEntry(const std::string& path, std::int32_t, std::int32_t, dnc::IDataEntry** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (!(session_.open.load() && session_.generation.load() == generation_)) return dnc::kNotConnected;
    HRESULT hr = control_.TakeFault(Op::GetDataEntry);
    if (dnc::Failed(hr)) return hr;
    auto parsed = ParseDataPath(path);
    if (!parsed) return dnc::kInvalidArg;
    dnc::Variant probe;  // the cell must exist; the control says why when it does not
    hr = control_.ReadCell(parsed->table, parsed->row, parsed->column, &probe);
    if (dnc::Failed(hr)) return hr;
    *out = new VcDataEntry(control_, machine_, session_, generation_, std::move(*parsed));
    return dnc::kOk;
  }

 private:
  VirtualControl& control_;
  dnc::IUnknown* machine_;
  Session& session_;
  std::uint64_t generation_;
};

class VcFileSystem final : public dnc::RefCounted<dnc::IJHFileSystem> {
 public:
  VcFileSystem(VirtualControl& control, dnc::IUnknown* machine, Session& session, std::uint64_t generation)
      : control_(control), machine_(machine), session_(session), generation_(generation) {
    machine_->AddRef();
  }
  ~VcFileSystem() override { machine_->Release(); }
  HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid == InterfaceId::FileSystem || iid == InterfaceId::Unknown) {
      const HRESULT hr = control_.TakeFault(Op::QueryFileSystem);
      return dnc::Failed(hr) ? hr : Hand(this, out);
    }
    return dnc::kNoInterface;
  }
  HRESULT SelectDirectory(const std::string& path) override {
    HRESULT hr = Check(Op::SelectDirectory);
    if (dnc::Failed(hr)) return hr;
    if (!control_.DirectoryExists(path)) return dnc::kPathNotFound;
    std::lock_guard guard(lock_);
    selected_ = path;
    return dnc::kOk;
  }
  HRESULT MakeDirectory(const std::string& path) override {
    HRESULT hr = Check(Op::MakeDirectory);
    return dnc::Failed(hr) ? hr : control_.MakeDirectory(path);
  }
  HRESULT LookUpFile(const std::string& name, std::int32_t, std::string* out) override {
    HRESULT hr = Check(Op::LookUpFile);
    if (dnc::Failed(hr)) return hr;
    std::string dir;
    {
      std::lock_guard guard(lock_);
      dir = selected_;
    }
    if (dir.empty() || !control_.FileExists(dir, name)) return dnc::kFileNotFound;
    if (out) *out = name;
    return dnc::kOk;
  }
  HRESULT TransmitFile(const std::string& workstationPath, const std::string& controlPath) override {
    HRESULT hr = Check(Op::TransmitFile);
    return dnc::Failed(hr) ? hr : control_.Transmit(workstationPath, controlPath);
  }

 private:
  HRESULT Check(Op op) {
    if (!(session_.open.load() && session_.generation.load() == generation_)) return dnc::kNotConnected;
    return control_.TakeFault(op);
  }
  VirtualControl& control_;
  dnc::IUnknown* machine_;
  Session& session_;
  std::uint64_t generation_;
  std::mutex lock_;
  std::string selected_;
};

class VcMachine final : public dnc::RefCounted<dnc::IMachine> {
 public:
  explicit VcMachine(VirtualControl& control) : control_(control) {}
  HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid == InterfaceId::Machine || iid == InterfaceId::Unknown) return Hand(this, out);
    if (iid == InterfaceId::Connection2) {
      const HRESULT hr = control_.TakeFault(Op::QueryConnection);
      if (dnc::Failed(hr)) return hr;
      *out = static_cast<dnc::IJHConnection2*>(new VcConnection(control_));
      return dnc::kOk;
    }
    return dnc::kNoInterface;
  }
  HRESULT Disconnect() override {
    const HRESULT hr = control_.TakeFault(Op::Disconnect);
    session_.open.store(false);  // a failing disconnect still ends the session
    return hr;
  }
  HRESULT GetInterfaceObject(std::int32_t kind, dnc::IUnknown** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (!session_.open.load()) return dnc::kNotConnected;
    const std::uint64_t generation = session_.generation.load();
    if (kind == dnc::kDataAccessObject) {
      const HRESULT hr = control_.TakeFault(Op::GetDataAccessObject);
      if (dnc::Failed(hr)) return hr;
      *out = new VcDataAccess(control_, this, session_, generation);
      return dnc::kOk;
    }
    if (kind == dnc::kFileSystemObject) {
      const HRESULT hr = control_.TakeFault(Op::GetFileSystemObject);
      if (dnc::Failed(hr)) return hr;
      *out = new VcFileSystem(control_, this, session_, generation);
      return dnc::kOk;
    }
    return dnc::kInvalidArg;
  }
  HRESULT GetState(std::int32_t* state) override {
    if (!state) return dnc::kPointer;
    const HRESULT hr = control_.TakeFault(Op::GetState);
    if (dnc::Failed(hr)) return hr;
    *state = control_.State();
    return dnc::kOk;
  }
  HRESULT ConnectionRequest(dnc::IJHConnection2* connection, const dnc::Variant&, const dnc::Variant&) override {
    if (!connection) return dnc::kPointer;
    const HRESULT hr = control_.TakeFault(Op::ConnectionRequest);
    if (dnc::Failed(hr)) return hr;
    // A new request replaces the session: what the old one handed out stops working.
    session_.generation.fetch_add(1);
    session_.open.store(true);
    return dnc::kOk;
  }

 private:
  VirtualControl& control_;
  Session session_;
};

}  // namespace

HRESULT VcComponent::CreateMachine(dnc::IMachine** out) {
  if (!out) return dnc::kPointer;
  *out = nullptr;
  const HRESULT hr = control_.TakeFault(Op::CreateMachine);
  if (hr != dnc::kOk) return hr;
  *out = new VcMachine(control_);
  return dnc::kOk;
}

std::optional<DataPath> ParseDataPath(const std::string& path) {
  const std::string head = "\\TABLE\\'";
  if (path.compare(0, head.size(), head) != 0) return std::nullopt;
  const auto close = path.find('\'', head.size());
  if (close == std::string::npos) return std::nullopt;
  DataPath result;
  result.table = path.substr(head.size(), close - head.size());
  const std::string nr = "\\NR\\";
  if (path.compare(close + 1, nr.size(), nr) != 0) return std::nullopt;
  const std::size_t rowStart = close + 1 + nr.size();
  const auto slash = path.find('\\', rowStart);
  if (slash == std::string::npos || slash == rowStart) return std::nullopt;
  const char* first = path.data() + rowStart;
  const char* last = path.data() + slash;
  auto [ptr, ec] = std::from_chars(first, last, result.row);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  result.column = path.substr(slash + 1);
  if (result.column.empty() || result.column.find('\\') != std::string::npos) return std::nullopt;
  return result;
}

}  // namespace ostrana::vc
