// The machine object of the stand-in: IJHMachine4 and, as the published
// class does, IJHConnection2 on the same object.
#include "standin/StandIn.h"

#include <mutex>

namespace ostrana::standin {

const CLSID kMachineClass = {0x8FA3D2F7, 0x51B3, 0x4E5F, {0xBC, 0xC6, 0xD2, 0xF7, 0xD7, 0xFC, 0xA7, 0xC1}};

namespace {

// DNC_INTERFACE_OBJECT values of GetInterface.
constexpr LONG kFileSystemKind = 5;
constexpr LONG kDataAccessKind = 9;

bool IsOneOf(REFIID iid, std::initializer_list<IID> iids) {
  for (const IID& one : iids)
    if (IsEqualIID(iid, one)) return true;
  return false;
}

class Machine final : public Counted<Dual<IJHMachine4>> {
 public:
  Machine(dnc::ComPtr<dnc::IMachine> machine, const Options& options)
      : Counted(options, __uuidof(IJHMachine4)), machine_(std::move(machine)), connection_(*this, options) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsOneOf(iid, {IID_IUnknown, IID_IDispatch, __uuidof(IJHMachine), __uuidof(IJHMachine2), __uuidof(IJHMachine3),
                      __uuidof(IJHMachine4)})) {
      AddRef();
      *out = static_cast<IJHMachine4*>(this);
      return S_OK;
    }
    if (IsOneOf(iid, {__uuidof(IJHConnection), __uuidof(IJHConnection2)})) return connection_.Open(out);
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE Connect(BSTR) override { return NotHere("IJHMachine.Connect"); }
  HRESULT STDMETHODCALLTYPE Disconnect() override {
    Record("IJHMachine.Disconnect");
    return Answer(machine_->Disconnect());
  }
  HRESULT STDMETHODCALLTYPE GetInterface(LONG kind, IUnknown** object) override {
    Record("IJHMachine.GetInterface");
    if (!object) return E_POINTER;
    *object = nullptr;
    if (kind != kDataAccessKind && kind != kFileSystemKind) return E_INVALIDARG;
    dnc::IUnknown* raw = nullptr;
    const dnc::HRESULT hr = machine_->GetInterfaceObject(kind, &raw);
    if (dnc::Failed(hr)) return Answer(hr);
    auto handed = dnc::ComPtr<dnc::IUnknown>::Attach(raw);
    *object = kind == kDataAccessKind ? MakeDataAccess(handed, options_) : MakeFileSystem(handed, options_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConfigureConnection(LONG, VARIANT*) override {
    return NotHere("IJHMachine.ConfigureConnection");
  }
  HRESULT STDMETHODCALLTYPE ListConnections(IDispatch**) override { return NotHere("IJHMachine.ListConnections"); }
  HRESULT STDMETHODCALLTYPE get_connected(VARIANT_BOOL*) override { return NotHere("IJHMachine.connected"); }
  HRESULT STDMETHODCALLTYPE get_currentMachine(BSTR*) override { return NotHere("IJHMachine.currentMachine"); }
  HRESULT STDMETHODCALLTYPE GetState(LONG* state) override {
    Record("IJHMachine2.GetState");
    if (!state) return E_POINTER;
    std::int32_t value = 0;
    const dnc::HRESULT hr = machine_->GetState(&value);
    if (dnc::Succeeded(hr)) *state = value;
    return Answer(hr);
  }
  HRESULT STDMETHODCALLTYPE ConnectRequest(BSTR) override { return NotHere("IJHMachine2.ConnectRequest"); }
  HRESULT STDMETHODCALLTYPE SetAccessMode(LONG, BSTR) override { return NotHere("IJHMachine2.SetAccessMode"); }
  HRESULT STDMETHODCALLTYPE GetVersionComInterface(BSTR*) override {
    return NotHere("IJHMachine2.GetVersionComInterface");
  }
  HRESULT STDMETHODCALLTYPE ConnectRequest2(BSTR, VARIANT, VARIANT) override {
    return NotHere("IJHMachine3.ConnectRequest2");
  }
  HRESULT STDMETHODCALLTYPE ConnectRequest3(IJHConnection2* connection, VARIANT, VARIANT) override {
    Record("IJHMachine3.ConnectRequest3");
    // Only this object's own connection settings can be connected.
    if (connection != static_cast<IJHConnection2*>(&connection_)) return E_INVALIDARG;
    auto settings = connection_.Settings();
    if (!settings) return E_INVALIDARG;
    return Answer(machine_->ConnectionRequest(settings.get(), dnc::Variant::Missing(), dnc::Variant::Missing()));
  }
  HRESULT STDMETHODCALLTYPE ConnectRequest4(IDispatch*, VARIANT, VARIANT) override {
    return NotHere("IJHMachine4.ConnectRequest4");
  }

 private:
  // IJHConnection2 of the machine object: its IUnknown is the machine's.
  class Connection final : public Dual<IJHConnection2> {
   public:
    Connection(Machine& outer, const Options& options) : Dual(options, __uuidof(IJHConnection2)), outer_(outer) {}
    // Asked for by the machine's QueryInterface: new settings of the session.
    HRESULT Open(void** out) {
      dnc::ComPtr<dnc::IJHConnection2> settings;
      const dnc::HRESULT hr = outer_.machine_.As(dnc::InterfaceId::Connection2, &settings);
      if (dnc::Failed(hr)) return Answer(hr);
      {
        std::lock_guard guard(lock_);
        settings_ = settings;
      }
      outer_.AddRef();
      *out = static_cast<IJHConnection2*>(this);
      return S_OK;
    }
    dnc::ComPtr<dnc::IJHConnection2> Settings() {
      std::lock_guard guard(lock_);
      return settings_;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      if (!out) return E_POINTER;
      *out = nullptr;
      if (IsOneOf(iid, {__uuidof(IJHConnection), __uuidof(IJHConnection2)})) {
        outer_.AddRef();
        *out = static_cast<IJHConnection2*>(this);
        return S_OK;
      }
      return outer_.QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return outer_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return outer_.Release(); }

    HRESULT STDMETHODCALLTYPE Clone(IDispatch**) override { return NotHere("IJHConnection.Clone"); }
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT, VARIANT*) override { return NotHere("IJHConnection.Item"); }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return NotHere("IJHConnection._NewEnum"); }
    HRESULT STDMETHODCALLTYPE get_Count(LONG*) override { return NotHere("IJHConnection.Count"); }
    HRESULT STDMETHODCALLTYPE get_ConnectionProperty(LONG, VARIANT*) override {
      return NotHere("IJHConnection.ConnectionProperty");
    }
    HRESULT STDMETHODCALLTYPE get_name(BSTR*) override { return NotHere("IJHConnection.name get"); }
    HRESULT STDMETHODCALLTYPE put_name(BSTR) override { return NotHere("IJHConnection.name put"); }
    HRESULT STDMETHODCALLTYPE get_protocol(LONG*) override { return NotHere("IJHConnection.protocol"); }
    HRESULT STDMETHODCALLTYPE get_cncType(LONG*) override { return NotHere("IJHConnection.cncType"); }
    HRESULT STDMETHODCALLTYPE Configure(LONG cncType, LONG protocol) override {
      Record("IJHConnection2.Configure");
      auto settings = Settings();
      return settings ? Answer(settings->Configure(cncType, protocol)) : E_UNEXPECTED;
    }
    HRESULT STDMETHODCALLTYPE get_propertyValue(LONG, VARIANT*) override {
      return NotHere("IJHConnection2.propertyValue get");
    }
    HRESULT STDMETHODCALLTYPE put_propertyValue(LONG property, VARIANT value) override {
      // A text as it arrived, in the call log, for a test to compare with the one it gave.
      Record("IJHConnection2.propertyValue put", value.vt == VT_BSTR ? "text " + Utf8Of(value.bstrVal) : "");
      auto settings = Settings();
      return settings ? Answer(settings->SetProperty(property, FromCom(value))) : E_UNEXPECTED;
    }

   private:
    Machine& outer_;
    std::mutex lock_;  // guards settings_
    dnc::ComPtr<dnc::IJHConnection2> settings_;
  };

  dnc::ComPtr<dnc::IMachine> machine_;
  Connection connection_;
};

}  // namespace

HRESULT Factory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  *out = static_cast<IClassFactory*>(this);
  return S_OK;
}

HRESULT Factory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  dnc::IMachine* machine = nullptr;
  const dnc::HRESULT hr = component_.CreateMachine(&machine);
  if (dnc::Failed(hr)) return Answer(hr);
  auto* object = new Machine(dnc::ComPtr<dnc::IMachine>::Attach(machine), options_);
  const HRESULT queried = object->QueryInterface(iid, out);
  object->Release();
  return queried;
}

}  // namespace ostrana::standin
