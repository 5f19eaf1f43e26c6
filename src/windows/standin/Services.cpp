// What the stand-in's machine hands out: data access with its data entries,
// and the file system, each over the virtual control's object of the session.
#include <mutex>

#include "standin/StandIn.h"

namespace ostrana::standin {
namespace {

bool IsOneOf(REFIID iid, std::initializer_list<IID> iids) {
  for (const IID& one : iids)
    if (IsEqualIID(iid, one)) return true;
  return false;
}

std::string TypeWord(VARTYPE type) {
  switch (type) {
    case VT_R8: return "R8";
    case VT_R4: return "R4";
    case VT_I4: return "I4";
    case VT_I2: return "I2";
    default: return "type " + std::to_string(type);
  }
}

// A dual interface over the virtual control's object `Service`, which the
// first QueryInterface for the interface obtains (and may fail, as the
// control's fault injection says).
template <class Interface, class Service>
class Handed : public Counted<Dual<Interface>> {
 public:
  Handed(dnc::ComPtr<dnc::IUnknown> object, const Options& options, dnc::InterfaceId kind,
         std::initializer_list<IID> iids)
      : Counted<Dual<Interface>>(options, __uuidof(Interface)), object_(std::move(object)), kind_(kind), iids_(iids) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    bool own = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch);
    if (!own) {
      for (const IID& one : iids_) own = own || IsEqualIID(iid, one);
      if (!own) return E_NOINTERFACE;
      std::lock_guard guard(lock_);
      if (!service_) {
        const dnc::HRESULT hr = object_.As(kind_, &service_);
        if (dnc::Failed(hr)) return Answer(hr);
      }
    }
    this->AddRef();
    *out = static_cast<Interface*>(this);
    return S_OK;
  }

 protected:
  dnc::ComPtr<Service> Held() {
    std::lock_guard guard(lock_);
    return service_;
  }

 private:
  dnc::ComPtr<dnc::IUnknown> object_;
  dnc::InterfaceId kind_;
  std::vector<IID> iids_;
  std::mutex lock_;  // guards service_
  dnc::ComPtr<Service> service_;
};

class DataEntry final : public Counted<Dual<IJHDataEntry2>> {
 public:
  DataEntry(dnc::ComPtr<dnc::IDataEntry> entry, const Options& options)
      : Counted(options, __uuidof(IJHDataEntry2)), entry_(std::move(entry)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsOneOf(iid, {IID_IUnknown, IID_IDispatch, __uuidof(IJHDataEntry), __uuidof(IJHDataEntry2)}))
      return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IJHDataEntry2*>(this);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetPropertyValue(LONG kind, VARIANT* value) override {
    Record("IJHDataEntry2.GetPropertyValue");
    if (!value) return E_POINTER;
    dnc::Variant read;
    const dnc::HRESULT hr = entry_->GetValue(kind, &read);
    if (dnc::Failed(hr)) return Answer(hr);
    VariantInit(value);
    switch (this->options_.cellType) {
      case VT_NULL: value->vt = VT_NULL; break;
      case VT_BOOL:
        value->vt = VT_BOOL;
        value->boolVal = VARIANT_TRUE;
        break;
      case VT_DECIMAL:
        VarDecFromR8(7.0, &value->decVal);
        value->vt = VT_DECIMAL;  // after the value: a DECIMAL fills the VARIANT's type field too
        break;
      default: ToCom(read, value);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetPropertyValue(LONG kind, VARIANT value, VARIANT_BOOL withFlush) override {
    Record("IJHDataEntry2.SetPropertyValue " + TypeWord(value.vt));
    return Answer(entry_->SetValue(kind, FromCom(value), withFlush ? 1 : 0));
  }

  HRESULT STDMETHODCALLTYPE get_bIsNode(VARIANT_BOOL*) override { return NotHere("IJHDataEntry.bIsNode"); }
  HRESULT STDMETHODCALLTYPE get_childList(IDispatch**) override { return NotHere("IJHDataEntry.childList"); }
  HRESULT STDMETHODCALLTYPE get_bstrFullName(BSTR*) override { return NotHere("IJHDataEntry.bstrFullName"); }
  HRESULT STDMETHODCALLTYPE get_bstrName(BSTR*) override { return NotHere("IJHDataEntry.bstrName"); }
  HRESULT STDMETHODCALLTYPE get_propertyList(IDispatch**) override { return NotHere("IJHDataEntry.propertyList"); }
  HRESULT STDMETHODCALLTYPE Subscribe() override { return NotHere("IJHDataEntry.Subscribe"); }
  HRESULT STDMETHODCALLTYPE UnSubscribe() override { return NotHere("IJHDataEntry.UnSubscribe"); }
  HRESULT STDMETHODCALLTYPE Subscribe2() override { return NotHere("IJHDataEntry2.Subscribe2"); }
  HRESULT STDMETHODCALLTYPE Subscribe2WithTrigger(LONG) override {
    return NotHere("IJHDataEntry2.Subscribe2WithTrigger");
  }
  HRESULT STDMETHODCALLTYPE get_asString(VARIANT_BOOL*) override { return NotHere("IJHDataEntry2.asString"); }
  HRESULT STDMETHODCALLTYPE get_unitSelect(LONG*) override { return NotHere("IJHDataEntry2.unitSelect"); }
  HRESULT STDMETHODCALLTYPE ReadPropertyValue(LONG) override { return NotHere("IJHDataEntry2.ReadPropertyValue"); }
  HRESULT STDMETHODCALLTYPE WritePropertyValue(LONG, VARIANT_BOOL) override {
    return NotHere("IJHDataEntry2.WritePropertyValue");
  }
  HRESULT STDMETHODCALLTYPE get_property(LONG, IDispatch**) override { return NotHere("IJHDataEntry2.property"); }
  HRESULT STDMETHODCALLTYPE get_propertyList2(IDispatch**) override { return NotHere("IJHDataEntry2.propertyList2"); }
  HRESULT STDMETHODCALLTYPE GetPropertyList(IDispatch**) override { return NotHere("IJHDataEntry2.GetPropertyList"); }
  HRESULT STDMETHODCALLTYPE get_propertyValue(LONG, VARIANT*) override {
    return NotHere("IJHDataEntry2.propertyValue get");
  }
  HRESULT STDMETHODCALLTYPE put_propertyValue(LONG, VARIANT) override {
    return NotHere("IJHDataEntry2.propertyValue put");
  }
  HRESULT STDMETHODCALLTYPE get_child(BSTR, IJHDataEntry2**) override { return NotHere("IJHDataEntry2.child"); }
  HRESULT STDMETHODCALLTYPE get_childList2(IDispatch**) override { return NotHere("IJHDataEntry2.childList2"); }
  HRESULT STDMETHODCALLTYPE add_child(IJHDataEntry2*) override { return NotHere("IJHDataEntry2.add_child"); }
  HRESULT STDMETHODCALLTYPE cloneTree(IJHDataEntry2**) override { return NotHere("IJHDataEntry2.cloneTree"); }
  HRESULT STDMETHODCALLTYPE ReadTreeValues() override { return NotHere("IJHDataEntry2.ReadTreeValues"); }
  HRESULT STDMETHODCALLTYPE WriteTreeValues(VARIANT_BOOL) override { return NotHere("IJHDataEntry2.WriteTreeValues"); }
  HRESULT STDMETHODCALLTYPE GetChildList(IDispatch**) override { return NotHere("IJHDataEntry2.GetChildList"); }

 private:
  dnc::ComPtr<dnc::IDataEntry> entry_;
};

class DataAccess final : public Handed<IJHDataAccess3, dnc::IJHDataAccess> {
 public:
  DataAccess(dnc::ComPtr<dnc::IUnknown> object, const Options& options)
      : Handed(std::move(object), options, dnc::InterfaceId::DataAccess,
               {__uuidof(IJHDataAccess), __uuidof(IJHDataAccess2), __uuidof(IJHDataAccess3)}) {}

  HRESULT STDMETHODCALLTYPE GetDataEntry2(BSTR selection, LONG unit, VARIANT_BOOL asString,
                                          IJHDataEntry2** entry) override {
    Record("IJHDataAccess3.GetDataEntry2");
    if (!entry) return E_POINTER;
    *entry = nullptr;
    auto access = Held();
    if (!access) return E_UNEXPECTED;
    dnc::IDataEntry* raw = nullptr;
    const dnc::HRESULT hr = access->GetDataEntry(Narrow(selection), unit, asString ? 1 : 0, &raw);
    if (dnc::Failed(hr)) return Answer(hr);
    *entry = new DataEntry(dnc::ComPtr<dnc::IDataEntry>::Attach(raw), options_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataEntry(BSTR, IJHDataEntry**) override {
    return NotHere("IJHDataAccess.GetDataEntry");
  }
  HRESULT STDMETHODCALLTYPE SetAccessMode(LONG, BSTR) override { return NotHere("IJHDataAccess2.SetAccessMode"); }
  HRESULT STDMETHODCALLTYPE LockTable(BSTR, LONG*) override { return NotHere("IJHDataAccess3.LockTable"); }
  HRESULT STDMETHODCALLTYPE UnlockTable(LONG) override { return NotHere("IJHDataAccess3.UnlockTable"); }
};

class FileSystem final : public Handed<IJHFileSystem, dnc::IJHFileSystem> {
 public:
  FileSystem(dnc::ComPtr<dnc::IUnknown> object, const Options& options)
      : Handed(std::move(object), options, dnc::InterfaceId::FileSystem, {__uuidof(IJHFileSystem)}) {}

  HRESULT STDMETHODCALLTYPE ChangeDirectory(BSTR directory) override {
    Record("IJHFileSystem.ChangeDirectory");
    auto files = Held();
    return files ? Answer(files->SelectDirectory(Narrow(directory))) : E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE MakeDirectory(BSTR directory) override {
    Record("IJHFileSystem.MakeDirectory");
    auto files = Held();
    return files ? Answer(files->MakeDirectory(Narrow(directory))) : E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE PreviewFile(BSTR name, LONG lines, BSTR* firstLines) override {
    Record("IJHFileSystem.PreviewFile");
    if (!firstLines) return E_POINTER;
    auto files = Held();
    if (!files) return E_UNEXPECTED;
    std::string text;
    dnc::HRESULT hr = files->LookUpFile(Narrow(name), lines, &text);
    if (hr == dnc::kFileNotFound) hr = dnc::kDncFileNotFound;  // as the component says it
    if (dnc::Succeeded(hr)) *firstLines = Wide(text);
    return Answer(hr);
  }
  HRESULT STDMETHODCALLTYPE TransmitFile(BSTR source, BSTR destination) override {
    Record("IJHFileSystem.TransmitFile");
    auto files = Held();
    return files ? Answer(files->TransmitFile(Utf8Of(source), Narrow(destination))) : E_UNEXPECTED;
  }

  HRESULT STDMETHODCALLTYPE GetDiskSpace(BSTR, VARIANT*, VARIANT*) override {
    return NotHere("IJHFileSystem.GetDiskSpace");
  }
  HRESULT STDMETHODCALLTYPE GetCurrentDirectory(BSTR*) override { return NotHere("IJHFileSystem.GetCurrentDirectory"); }
  HRESULT STDMETHODCALLTYPE GetFileSystemAttributes(IDispatch**) override {
    return NotHere("IJHFileSystem.GetFileSystemAttributes");
  }
  HRESULT STDMETHODCALLTYPE ReadDirectory(BSTR, IDispatch*, IDispatch*, IDispatch**) override {
    return NotHere("IJHFileSystem.ReadDirectory");
  }
  HRESULT STDMETHODCALLTYPE DeleteDirectory(BSTR) override { return NotHere("IJHFileSystem.DeleteDirectory"); }
  HRESULT STDMETHODCALLTYPE DeleteFile(BSTR) override { return NotHere("IJHFileSystem.DeleteFile"); }
  HRESULT STDMETHODCALLTYPE Rename(BSTR, BSTR) override { return NotHere("IJHFileSystem.Rename"); }
  HRESULT STDMETHODCALLTYPE CopyFile(BSTR, BSTR) override { return NotHere("IJHFileSystem.CopyFile"); }
  HRESULT STDMETHODCALLTYPE ReceiveFile(BSTR, BSTR) override { return NotHere("IJHFileSystem.ReceiveFile"); }
  HRESULT STDMETHODCALLTYPE StartReceiveFile(BSTR, BSTR, VARIANT_BOOL, LONG*) override {
    return NotHere("IJHFileSystem.StartReceiveFile");
  }
  HRESULT STDMETHODCALLTYPE StartTransmitFile(BSTR, BSTR, VARIANT_BOOL, LONG*) override {
    return NotHere("IJHFileSystem.StartTransmitFile");
  }
  HRESULT STDMETHODCALLTYPE AbortFileTransfer(LONG) override { return NotHere("IJHFileSystem.AbortFileTransfer"); }
  HRESULT STDMETHODCALLTYPE SetAttributes(BSTR, IDispatch*) override { return NotHere("IJHFileSystem.SetAttributes"); }
  HRESULT STDMETHODCALLTYPE GetAttributes(BSTR, IDispatch**) override { return NotHere("IJHFileSystem.GetAttributes"); }
  HRESULT STDMETHODCALLTYPE SetFileTime(BSTR, double) override { return NotHere("IJHFileSystem.SetFileTime"); }
  HRESULT STDMETHODCALLTYPE GetFileTime(BSTR, double*) override { return NotHere("IJHFileSystem.GetFileTime"); }
  HRESULT STDMETHODCALLTYPE SetAccessMode(LONG, BSTR) override { return NotHere("IJHFileSystem.SetAccessMode"); }
  HRESULT STDMETHODCALLTYPE ObserveFileChange(BSTR, LONG) override {
    return NotHere("IJHFileSystem.ObserveFileChange");
  }
};

}  // namespace

IUnknown* MakeDataAccess(dnc::ComPtr<dnc::IUnknown> object, const Options& options) {
  return static_cast<IJHDataAccess3*>(new DataAccess(std::move(object), options));
}

IUnknown* MakeFileSystem(dnc::ComPtr<dnc::IUnknown> object, const Options& options) {
  return static_cast<IJHFileSystem*>(new FileSystem(std::move(object), options));
}

}  // namespace ostrana::standin
