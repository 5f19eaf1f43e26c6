#include "comdnc/ComComponent.h"

#include <atomic>
#include <cstdio>
#include <memory>

#include "comdnc/DispatchObject.h"

namespace ostrana::comdnc {

const CLSID kMachineClass = {0x8FA3D2F7, 0x51B3, 0x4E5F, {0xBC, 0xC6, 0xD2, 0xF7, 0xD7, 0xFC, 0xA7, 0xC1}};
const IID kMachineInterface = {0x5748A4D4, 0x59A9, 0x4D6D, {0x80, 0xE2, 0xEE, 0x22, 0x86, 0x17, 0x0E, 0x11}};
const IID kConnectionInterface = {0xBCB5C2C2, 0x45AF, 0x4357, {0xA4, 0xDB, 0x2F, 0xDF, 0xE6, 0x63, 0x89, 0x75}};
const IID kDataAccessInterface = {0xFCCCC580, 0x4A70, 0x4C64, {0x95, 0x79, 0x6A, 0x43, 0x38, 0xE3, 0x6C, 0xD4}};
const IID kFileSystemInterface = {0x20143017, 0x01FA, 0x47B6, {0xA6, 0xE0, 0x90, 0x6C, 0xA9, 0x52, 0x91, 0x86}};

namespace {

using dnc::InterfaceId;

// Whether the session objects were made for is still open.
using Session = std::shared_ptr<std::atomic<bool>>;

// Arguments as IDispatch takes them; cleared when the call is done.
class Arguments {
 public:
  ~Arguments() {
    for (auto& v : list_) VariantClear(&v);
  }
  Arguments& I4(std::int32_t value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    list_.push_back(v);
    return *this;
  }
  Arguments& Text(const std::string& text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = ToBstr(text);
    list_.push_back(v);
    return *this;
  }
  Arguments& Value(const dnc::Variant& value) {
    VARIANT v;
    FromVariant(value, &v);
    list_.push_back(v);
    return *this;
  }
  Arguments& Object(IDispatch* object) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    object->AddRef();
    list_.push_back(v);
    return *this;
  }
  std::vector<VARIANT>& List() { return list_; }

 private:
  std::vector<VARIANT> list_;
};

// A result VARIANT, cleared when it goes.
struct Result {
  Result() { VariantInit(&value); }
  ~Result() { VariantClear(&value); }
  VARIANT value;
};

// The IDispatch of an object a call returned (VT_DISPATCH or VT_UNKNOWN).
IDispatch* DispatchOf(const VARIANT& value) {
  ::IUnknown* unknown = value.vt == VT_DISPATCH ? value.pdispVal : value.vt == VT_UNKNOWN ? value.punkVal : nullptr;
  IDispatch* dispatch = nullptr;
  if (unknown) unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  return dispatch;
}

// The IDispatch of `object` for the interface `iid` (dual: the interface's
// own pointer is an IDispatch).
IDispatch* Query(::IUnknown* object, const IID& iid) {
  IDispatch* dispatch = nullptr;
  if (FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&dispatch)))) return nullptr;
  return dispatch;
}

dnc::HRESULT Closed() {
  dnc::SetFailureText("the connection to the control has been closed");
  return dnc::kNotConnected;
}

class ComDataEntry final : public dnc::RefCounted<dnc::IDataEntry> {
 public:
  ComDataEntry(IDispatch* object, const DispatchNames& names, Session session)
      : object_(object, "IJHDataEntry", &names), session_(std::move(session)) {}
  dnc::HRESULT QueryInterface(InterfaceId, void** out) override {
    if (out) *out = nullptr;
    return dnc::kNoInterface;
  }
  dnc::HRESULT GetValue(std::int32_t flags, dnc::Variant* value) override {
    if (!value) return dnc::kPointer;
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.I4(flags);
    Result result;
    const HRESULT hr = object_.Call("GetValue", arguments.List(), &result.value);
    if (FAILED(hr)) return hr;
    dnc::Variant converted;
    if (!ToVariant(result.value, &converted)) {
      dnc::SetFailureText("the control gave a cell value of type " + std::to_string(result.value.vt));
      return dnc::kFail;
    }
    *value = converted;
    return dnc::kOk;
  }
  dnc::HRESULT SetValue(std::int32_t flags, const dnc::Variant& value, std::int32_t flags2) override {
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.I4(flags).Value(value).I4(flags2);
    return object_.Call("SetValue", arguments.List(), nullptr);
  }

 private:
  DispatchObject object_;
  Session session_;
};

class ComDataAccess final : public dnc::RefCounted<dnc::IJHDataAccess> {
 public:
  ComDataAccess(IDispatch* object, const DispatchNames& names, Session session)
      : object_(object, "IJHDataAccess", &names), names_(names), session_(std::move(session)) {}
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid != InterfaceId::DataAccess) return dnc::kNoInterface;
    AddRef();
    *out = static_cast<dnc::IJHDataAccess*>(this);
    return dnc::kOk;
  }
  dnc::HRESULT GetDataEntry(const std::string& path, std::int32_t kind, std::int32_t options,
                            dnc::IDataEntry** entry) override {
    if (!entry) return dnc::kPointer;
    *entry = nullptr;
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.Text(path).I4(kind).I4(options);
    Result result;
    const HRESULT hr = object_.Call("GetDataEntry", arguments.List(), &result.value);
    if (FAILED(hr)) return hr;
    IDispatch* dispatch = DispatchOf(result.value);
    if (!dispatch) return dnc::kFail;
    *entry = new ComDataEntry(dispatch, names_, session_);
    return dnc::kOk;
  }

 private:
  DispatchObject object_;
  const DispatchNames& names_;
  Session session_;
};

class ComFileSystem final : public dnc::RefCounted<dnc::IJHFileSystem> {
 public:
  ComFileSystem(IDispatch* object, const DispatchNames& names, Session session)
      : object_(object, "IJHFileSystem", &names), session_(std::move(session)) {}
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid != InterfaceId::FileSystem) return dnc::kNoInterface;
    AddRef();
    *out = static_cast<dnc::IJHFileSystem*>(this);
    return dnc::kOk;
  }
  dnc::HRESULT SelectDirectory(const std::string& path) override { return CallText("SelectDirectory", path); }
  dnc::HRESULT MakeDirectory(const std::string& path) override { return CallText("MakeDirectory", path); }
  dnc::HRESULT LookUpFile(const std::string& name, std::int32_t flags, std::string* found) override {
    if (!found) return dnc::kPointer;
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.Text(name).I4(flags);
    Result result;
    const HRESULT hr = object_.Call("LookUpFile", arguments.List(), &result.value);
    if (SUCCEEDED(hr) && result.value.vt == VT_BSTR) *found = FromBstr(result.value.bstrVal);
    return hr;
  }
  dnc::HRESULT TransmitFile(const std::string& workstationPath, const std::string& controlPath) override {
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.Text(workstationPath).Text(controlPath);
    return object_.Call("TransmitFile", arguments.List(), nullptr);
  }

 private:
  dnc::HRESULT CallText(const char* operation, const std::string& text) {
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.Text(text);
    return object_.Call(operation, arguments.List(), nullptr);
  }
  DispatchObject object_;
  Session session_;
};

// What the machine's "get interface object" hands out, before the query.
class ComObject final : public dnc::RefCounted<dnc::IUnknown> {
 public:
  ComObject(::IUnknown* object, const DispatchNames& names, Session session)
      : object_(object), names_(names), session_(std::move(session)) {}
  ~ComObject() override { object_->Release(); }
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (!*session_) return Closed();
    if (iid == InterfaceId::DataAccess) {
      if (IDispatch* d = Query(object_, kDataAccessInterface)) {
        *out = static_cast<dnc::IJHDataAccess*>(new ComDataAccess(d, names_, session_));
        return dnc::kOk;
      }
    } else if (iid == InterfaceId::FileSystem) {
      if (IDispatch* d = Query(object_, kFileSystemInterface)) {
        *out = static_cast<dnc::IJHFileSystem*>(new ComFileSystem(d, names_, session_));
        return dnc::kOk;
      }
    }
    return dnc::kNoInterface;
  }

 private:
  ::IUnknown* object_;  // the component's own
  const DispatchNames& names_;
  Session session_;
};

class ComConnection final : public dnc::RefCounted<dnc::IJHConnection2> {
 public:
  ComConnection(IDispatch* object, const DispatchNames& names) : object_(object, "IJHConnection2", &names) {}
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid != InterfaceId::Connection2) return dnc::kNoInterface;
    AddRef();
    *out = static_cast<dnc::IJHConnection2*>(this);
    return dnc::kOk;
  }
  dnc::HRESULT Configure(std::int32_t first, std::int32_t second) override {
    Arguments arguments;
    arguments.I4(first).I4(second);
    return object_.Call("Configure", arguments.List(), nullptr);
  }
  dnc::HRESULT SetProperty(std::int32_t index, const dnc::Variant& value) override {
    Arguments arguments;
    arguments.I4(index).Value(value);
    return object_.Call("SetProperty", arguments.List(), nullptr, DISPATCH_PROPERTYPUT);
  }
  IDispatch* Dispatch() const { return object_.get(); }

 private:
  DispatchObject object_;
};

class ComMachine final : public dnc::RefCounted<dnc::IMachine> {
 public:
  ComMachine(IDispatch* object, const DispatchNames& names)
      : object_(object, "IJHMachine", &names), names_(names), session_(std::make_shared<std::atomic<bool>>(true)) {}
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid == InterfaceId::Machine) {
      AddRef();
      *out = static_cast<dnc::IMachine*>(this);
      return dnc::kOk;
    }
    if (iid == InterfaceId::Connection2) {
      if (IDispatch* d = Query(object_.get(), kConnectionInterface)) {
        *out = static_cast<dnc::IJHConnection2*>(new ComConnection(d, names_));
        return dnc::kOk;
      }
    }
    return dnc::kNoInterface;
  }
  dnc::HRESULT Disconnect() override {
    *session_ = false;  // from now on the session's objects answer kNotConnected
    Arguments none;
    return object_.Call("Disconnect", none.List(), nullptr);
  }
  dnc::HRESULT GetInterfaceObject(std::int32_t kind, dnc::IUnknown** object) override {
    if (!object) return dnc::kPointer;
    *object = nullptr;
    Arguments arguments;
    arguments.I4(kind);
    Result result;
    const HRESULT hr = object_.Call("GetInterfaceObject", arguments.List(), &result.value);
    if (FAILED(hr)) return hr;
    ::IUnknown* unknown = result.value.vt == VT_DISPATCH ? result.value.pdispVal
                        : result.value.vt == VT_UNKNOWN ? result.value.punkVal
                                                        : nullptr;
    if (!unknown) return dnc::kFail;
    unknown->AddRef();
    *object = new ComObject(unknown, names_, session_);
    return dnc::kOk;
  }
  dnc::HRESULT GetState(std::int32_t* state) override {
    if (!state) return dnc::kPointer;
    Arguments none;
    Result result;
    const HRESULT hr = object_.Call("GetState", none.List(), &result.value);
    if (FAILED(hr)) return hr;
    if (FAILED(VariantChangeType(&result.value, &result.value, 0, VT_I4))) return dnc::kFail;
    *state = result.value.lVal;
    return dnc::kOk;
  }
  dnc::HRESULT ConnectionRequest(dnc::IJHConnection2* connection, const dnc::Variant& optional1,
                                 const dnc::Variant& optional2) override {
    auto* com = dynamic_cast<ComConnection*>(connection);
    if (!com) return dnc::kInvalidArg;
    Arguments arguments;
    arguments.Object(com->Dispatch()).Value(optional1).Value(optional2);
    const HRESULT hr = object_.Call("ConnectionRequest", arguments.List(), nullptr);
    // A new session: what the last one handed out stays closed.
    if (SUCCEEDED(hr)) session_ = std::make_shared<std::atomic<bool>>(true);
    return hr;
  }

 private:
  DispatchObject object_;
  const DispatchNames& names_;
  Session session_;
};

}  // namespace

dnc::HRESULT ComComponent::CreateMachine(dnc::IMachine** machine) {
  if (!machine) return dnc::kPointer;
  *machine = nullptr;
  IDispatch* object = nullptr;
  const HRESULT hr = CoCreateInstance(class_, nullptr, kCreateContext, kMachineInterface, reinterpret_cast<void**>(&object));
  if (hr != S_OK) {
    if (object) object->Release();
    dnc::SetFailureText("the DNC component cannot be created: " + DescribeStatus(hr));
    return FAILED(hr) ? hr : dnc::kFail;
  }
  *machine = new ComMachine(object, names_);
  return dnc::kOk;
}

const DispatchNames& LoadNames() {
  static const DispatchNames names = [] {
    DispatchNames loaded;
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string file = path;
    file = file.substr(0, file.find_last_of("\\/") + 1) + "dnc-names.txt";
    std::vector<std::string> problems;
    loaded.ApplyFile(file, &problems);
    for (const auto& problem : problems) std::fprintf(stderr, "ostrana: %s: %s\n", file.c_str(), problem.c_str());
    return loaded;
  }();
  return names;
}

}  // namespace ostrana::comdnc
