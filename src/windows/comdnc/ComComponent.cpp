#include "comdnc/ComComponent.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "comdnc/DispatchObject.h"
#include "comdnc/MemberCheck.h"
#include "comdnc/Registration.h"
#include "common/EventLog.h"
#include "common/WideText.h"

namespace ostrana::comdnc {

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
  // A path of this computer: from the program's UTF-8, whatever the code page.
  Arguments& Path(const std::string& utf8) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(Wide(utf8).c_str());
    list_.push_back(v);
    return *this;
  }
  Arguments& Bool(bool value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
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

dnc::HRESULT Closed() {
  dnc::SetFailureText("the connection to the control has been closed");
  return dnc::kNotConnected;
}

// Whether `object` has every member of `published` the connector calls, as
// published; said in words (failure text and log) when it does not.
bool Acceptable(IDispatch* object, const Interface& published) {
  const Inspection inspection = Inspect(object, published);
  if (!inspection.AllOk()) {
    const std::string problems = inspection.Problems(published);
    Log(LogLevel::Error, "dnc", problems + "; nothing was called on it",
        LogEvent(EventId::ComponentRefused).Reason(problems));
    dnc::SetFailureText(problems);
    return false;
  }
  if (!inspection.typeInformation)
    Log(LogLevel::Warning, "dnc",
        std::string("the DNC component's ") + published.name +
            " gives no type information: its members are called by their published DISPIDs",
        LogEvent(EventId::NoTypeInformation).Command(published.name));
  return true;
}

dnc::HRESULT Refused() { return dnc::kMemberNotFound; }

class ComDataEntry final : public dnc::RefCounted<dnc::IDataEntry> {
 public:
  ComDataEntry(IDispatch* object, Session session)
      : object_(object, published::kDataEntry), session_(std::move(session)) {}
  dnc::HRESULT QueryInterface(InterfaceId, void** out) override {
    if (out) *out = nullptr;
    return dnc::kNoInterface;
  }
  dnc::HRESULT GetValue(std::int32_t kind, dnc::Variant* value) override {
    if (!value) return dnc::kPointer;
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.I4(kind);
    Result result;
    const HRESULT hr = object_.Call(published::kGetPropertyValue, arguments.List(), &result.value);
    if (FAILED(hr)) return hr;
    *value = ToVariant(result.value);
    return dnc::kOk;
  }
  dnc::HRESULT SetValue(std::int32_t kind, const dnc::Variant& value, std::int32_t flush) override {
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.I4(kind).Value(value).Bool(flush != 0);
    return object_.Call(published::kSetPropertyValue, arguments.List(), nullptr);
  }

 private:
  DispatchObject object_;
  Session session_;
};

class ComDataAccess final : public dnc::RefCounted<dnc::IJHDataAccess> {
 public:
  ComDataAccess(IDispatch* object, Session session)
      : object_(object, published::kDataAccess), session_(std::move(session)) {}
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid != InterfaceId::DataAccess) return dnc::kNoInterface;
    AddRef();
    *out = static_cast<dnc::IJHDataAccess*>(this);
    return dnc::kOk;
  }
  dnc::HRESULT GetDataEntry(const std::string& path, std::int32_t unit, std::int32_t asText,
                            dnc::IDataEntry** entry) override {
    if (!entry) return dnc::kPointer;
    *entry = nullptr;
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.Text(path).I4(unit).Bool(asText != 0);
    Result result;
    const HRESULT hr = object_.Call(published::kGetDataEntry2, arguments.List(), &result.value);
    if (FAILED(hr)) return hr;
    IDispatch* dispatch = DispatchOf(result.value);
    if (!dispatch) return dnc::kFail;
    if (!EntriesAcceptable(dispatch)) {
      dispatch->Release();
      return Refused();
    }
    *entry = new ComDataEntry(dispatch, session_);
    return dnc::kOk;
  }

 private:
  // Every cell access gets a new entry; this data access (one per connect)
  // checks the first one and keeps the verdict for the others.
  bool EntriesAcceptable(IDispatch* entry) {
    std::lock_guard guard(lock_);
    if (!entriesChecked_) {
      entriesAcceptable_ = Acceptable(entry, published::kDataEntry);
      entriesChecked_ = true;
      if (!entriesAcceptable_) problems_ = dnc::TakeFailureText();
    }
    if (!entriesAcceptable_) dnc::SetFailureText(problems_);
    return entriesAcceptable_;
  }
  DispatchObject object_;
  Session session_;
  std::mutex lock_;  // guards the three below
  bool entriesChecked_ = false;
  bool entriesAcceptable_ = false;
  std::string problems_;
};

class ComFileSystem final : public dnc::RefCounted<dnc::IJHFileSystem> {
 public:
  ComFileSystem(IDispatch* object, Session session)
      : object_(object, published::kFileSystem), session_(std::move(session)) {}
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid != InterfaceId::FileSystem) return dnc::kNoInterface;
    AddRef();
    *out = static_cast<dnc::IJHFileSystem*>(this);
    return dnc::kOk;
  }
  dnc::HRESULT SelectDirectory(const std::string& path) override { return CallText(published::kChangeDirectory, path); }
  dnc::HRESULT MakeDirectory(const std::string& path) override { return CallText(published::kMakeDirectory, path); }
  dnc::HRESULT LookUpFile(const std::string& name, std::int32_t lines, std::string* found) override {
    if (!found) return dnc::kPointer;
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.Text(name).I4(lines);
    Result result;
    const HRESULT hr = object_.Call(published::kPreviewFile, arguments.List(), &result.value);
    if (SUCCEEDED(hr) && result.value.vt == VT_BSTR) *found = FromBstr(result.value.bstrVal);
    return hr;
  }
  dnc::HRESULT TransmitFile(const std::string& workstationPath, const std::string& controlPath) override {
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.Path(workstationPath).Text(controlPath);
    return object_.Call(published::kTransmitFile, arguments.List(), nullptr);
  }

 private:
  dnc::HRESULT CallText(const Member& member, const std::string& text) {
    if (!*session_) return Closed();
    Arguments arguments;
    arguments.Text(text);
    return object_.Call(member, arguments.List(), nullptr);
  }
  DispatchObject object_;
  Session session_;
};

// The interface `published` of `object`, checked; nullptr with the reason
// (failure text) when it is not offered or not as published.
IDispatch* QueryChecked(::IUnknown* object, const Interface& published, HRESULT* hr) {
  IDispatch* dispatch = nullptr;
  *hr = object->QueryInterface(*published.iid, reinterpret_cast<void**>(&dispatch));
  if (FAILED(*hr) || !dispatch) {
    if (dispatch) dispatch->Release();
    if (SUCCEEDED(*hr)) *hr = E_NOINTERFACE;
    return nullptr;
  }
  if (!Acceptable(dispatch, published)) {
    dispatch->Release();
    *hr = Refused();
    return nullptr;
  }
  return dispatch;
}

// What the machine's "get interface object" hands out, before the query.
class ComObject final : public dnc::RefCounted<dnc::IUnknown> {
 public:
  ComObject(::IUnknown* object, Session session) : object_(object), session_(std::move(session)) {}
  ~ComObject() override { object_->Release(); }
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (!*session_) return Closed();
    HRESULT hr = E_NOINTERFACE;
    if (iid == InterfaceId::DataAccess) {
      if (IDispatch* d = QueryChecked(object_, published::kDataAccess, &hr))
        *out = static_cast<dnc::IJHDataAccess*>(new ComDataAccess(d, session_));
    } else if (iid == InterfaceId::FileSystem) {
      if (IDispatch* d = QueryChecked(object_, published::kFileSystem, &hr))
        *out = static_cast<dnc::IJHFileSystem*>(new ComFileSystem(d, session_));
    }
    return *out ? dnc::kOk : hr;
  }

 private:
  ::IUnknown* object_;  // the component's own
  Session session_;
};

class ComConnection final : public dnc::RefCounted<dnc::IJHConnection2> {
 public:
  explicit ComConnection(IDispatch* object) : object_(object, published::kConnection) {}
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid != InterfaceId::Connection2) return dnc::kNoInterface;
    AddRef();
    *out = static_cast<dnc::IJHConnection2*>(this);
    return dnc::kOk;
  }
  dnc::HRESULT Configure(std::int32_t cncType, std::int32_t protocol) override {
    Arguments arguments;
    arguments.I4(cncType).I4(protocol);
    return object_.Call(published::kConfigure, arguments.List(), nullptr);
  }
  dnc::HRESULT SetProperty(std::int32_t property, const dnc::Variant& value) override {
    Arguments arguments;
    arguments.I4(property).Value(value);
    return object_.Call(published::kPropertyValuePut, arguments.List(), nullptr);
  }
  IDispatch* Dispatch() const { return object_.get(); }

 private:
  DispatchObject object_;
};

class ComMachine final : public dnc::RefCounted<dnc::IMachine> {
 public:
  explicit ComMachine(IDispatch* object)
      : object_(object, published::kMachine), session_(std::make_shared<std::atomic<bool>>(true)) {}
  dnc::HRESULT QueryInterface(InterfaceId iid, void** out) override {
    if (!out) return dnc::kPointer;
    *out = nullptr;
    if (iid == InterfaceId::Machine) {
      AddRef();
      *out = static_cast<dnc::IMachine*>(this);
      return dnc::kOk;
    }
    HRESULT hr = E_NOINTERFACE;
    if (iid == InterfaceId::Connection2)
      if (IDispatch* d = QueryChecked(object_.get(), published::kConnection, &hr))
        *out = static_cast<dnc::IJHConnection2*>(new ComConnection(d));
    return *out ? dnc::kOk : hr;
  }
  dnc::HRESULT Disconnect() override {
    *session_ = false;  // from now on the session's objects answer kNotConnected
    Arguments none;
    return object_.Call(published::kDisconnect, none.List(), nullptr);
  }
  dnc::HRESULT GetInterfaceObject(std::int32_t kind, dnc::IUnknown** object) override {
    if (!object) return dnc::kPointer;
    *object = nullptr;
    Arguments arguments;
    arguments.I4(kind);
    Result result;
    const HRESULT hr = object_.Call(published::kGetInterface, arguments.List(), &result.value);
    if (FAILED(hr)) return hr;
    ::IUnknown* unknown = result.value.vt == VT_DISPATCH  ? result.value.pdispVal
                          : result.value.vt == VT_UNKNOWN ? result.value.punkVal
                                                          : nullptr;
    if (!unknown) return dnc::kFail;
    unknown->AddRef();
    *object = new ComObject(unknown, session_);
    return dnc::kOk;
  }
  dnc::HRESULT GetState(std::int32_t* state) override {
    if (!state) return dnc::kPointer;
    Arguments none;
    Result result;
    const HRESULT hr = object_.Call(published::kGetState, none.List(), &result.value);
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
    const HRESULT hr = object_.Call(published::kConnectRequest3, arguments.List(), nullptr);
    // A new session: what the last one handed out stays closed.
    if (SUCCEEDED(hr)) session_ = std::make_shared<std::atomic<bool>>(true);
    return hr;
  }

 private:
  DispatchObject object_;
  Session session_;
};

}  // namespace

dnc::HRESULT ComComponent::CreateMachine(dnc::IMachine** machine) {
  if (!machine) return dnc::kPointer;
  *machine = nullptr;
  IDispatch* object = nullptr;
  const HRESULT hr =
      CoCreateInstance(class_, nullptr, kCreateContext, kMachineInterface, reinterpret_cast<void**>(&object));
  if (hr != S_OK) {
    if (object) object->Release();
    // Registered for the other bitness only: which program to install instead.
    const std::string hint = hr == REGDB_E_CLASSNOTREG ? OtherBitnessHint(ReadRegistrations(class_)) : std::string();
    dnc::SetFailureText(hint.empty() ? "the DNC component cannot be created: " + DescribeStatus(hr) : hint);
    return FAILED(hr) ? hr : dnc::kFail;
  }
  if (!Acceptable(object, published::kMachine)) {
    object->Release();
    return Refused();
  }
  *machine = new ComMachine(object);
  return dnc::kOk;
}

}  // namespace ostrana::comdnc
