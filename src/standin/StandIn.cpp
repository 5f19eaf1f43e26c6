#include "standin/StandIn.h"

#include <oleauto.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "comdnc/ComComponent.h"
#include "comdnc/DispatchObject.h"

namespace ostrana::standin {
namespace {

using comdnc::FromBstr;
using comdnc::ToBstr;

// One operation: its name, its place in the interface (from 1), how it is
// invoked, its parameters and what it gives back ([out, retval]; VT_EMPTY
// for nothing). The handler gets the arguments in the operation's order.
struct Operation {
  const wchar_t* name;
  WORD kind;
  std::vector<PARAMDATA> parameters;
  VARTYPE returns;
  std::function<HRESULT(VARIANT** arguments, VARIANT* result)> handler;
};

class Object;
// The object behind an IDispatch this file made, or null.
Object* Own(IDispatch* dispatch);

class Object final : public IDispatch {
 public:
  Object(std::vector<IID> interfaces, std::vector<Operation> operations)
      : interfaces_(std::move(interfaces)), operations_(std::move(operations)) {
    methods_.reserve(operations_.size());
    for (std::size_t i = 0; i < operations_.size(); ++i) {
      Operation& o = operations_[i];
      // The vtable slot after IUnknown's and IDispatch's seven.
      methods_.push_back(METHODDATA{const_cast<OLECHAR*>(o.name), o.parameters.data(), static_cast<DISPID>(i + 1),
                                    static_cast<UINT>(7 + i), CC_STDCALL, static_cast<UINT>(o.parameters.size()), o.kind,
                                    static_cast<VARTYPE>(o.returns == VT_EMPTY ? VARTYPE{VT_HRESULT} : o.returns)});
    }
    INTERFACEDATA data{methods_.data(), static_cast<UINT>(methods_.size())};
    CreateDispTypeInfo(&data, LOCALE_SYSTEM_DEFAULT, &coclass_);
  }
  virtual ~Object() {
    if (coclass_) coclass_->Release();
  }
  // Asked for an interface this object does not answer itself (the
  // machine's connection, the handed-out object's data access).
  std::function<IDispatch*(REFIID)> more;
  // For the machine's connection request: the connection behind the argument.
  dnc::ComPtr<dnc::IJHConnection2> connection;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    bool mine = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch);
    for (const IID& own : interfaces_) mine = mine || IsEqualIID(iid, own);
    if (mine) {
      AddRef();
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    if (more)
      if (IDispatch* other = more(iid)) {
        *out = other;
        return S_OK;
      }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = coclass_ ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0 || !coclass_) return DISP_E_BADINDEX;
    coclass_->AddRef();
    *info = coclass_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!coclass_) return E_UNEXPECTED;
    return coclass_->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* parameters, VARIANT* result,
                                   EXCEPINFO* exception, UINT* badArgument) override {
    if (id < 1 || static_cast<std::size_t>(id) > operations_.size()) return DISP_E_MEMBERNOTFOUND;
    Operation& operation = operations_[static_cast<std::size_t>(id - 1)];
    if (!(kind & operation.kind)) return DISP_E_MEMBERNOTFOUND;
    if (!parameters || parameters->cArgs != operation.parameters.size()) return DISP_E_BADPARAMCOUNT;
    // In the operation's order, each converted to the type it takes.
    std::vector<VARIANT> converted(parameters->cArgs);
    std::vector<VARIANT*> arguments;
    for (UINT i = 0; i < parameters->cArgs; ++i) {
      VARIANT& given = parameters->rgvarg[parameters->cArgs - 1 - i];
      VariantInit(&converted[i]);
      const VARTYPE wanted = operation.parameters[i].vt;
      const HRESULT hr = wanted == VT_VARIANT ? VariantCopy(&converted[i], &given)
                                              : VariantChangeType(&converted[i], &given, 0, wanted);
      if (FAILED(hr)) {
        for (auto& v : converted) VariantClear(&v);
        if (badArgument) *badArgument = parameters->cArgs - 1 - i;
        return DISP_E_TYPEMISMATCH;
      }
      arguments.push_back(&converted[i]);
    }
    VARIANT value;
    VariantInit(&value);
    dnc::TakeFailureText();
    const HRESULT hr = operation.handler(arguments.data(), &value);
    for (auto& v : converted) VariantClear(&v);
    if (FAILED(hr)) {
      VariantClear(&value);
      // As a dual interface's dispatch reports a failed method: an exception with its code.
      if (exception) {
        *exception = EXCEPINFO{};
        exception->scode = hr;
        exception->bstrSource = SysAllocString(L"Ostrana DNC stand-in");
        const std::string text = dnc::TakeFailureText();
        if (!text.empty()) exception->bstrDescription = ToBstr(text);
      }
      return DISP_E_EXCEPTION;
    }
    if (result) *result = value;
    else VariantClear(&value);
    return S_OK;
  }

 private:
  std::atomic<ULONG> count_{1};
  std::vector<IID> interfaces_;
  std::vector<Operation> operations_;
  std::vector<METHODDATA> methods_;
  ITypeInfo* coclass_ = nullptr;
};

Object* Own(IDispatch* dispatch) { return dynamic_cast<Object*>(dispatch); }

std::int32_t I4(VARIANT* v) { return v->lVal; }
std::string Text(VARIANT* v) { return FromBstr(v->bstrVal); }

void SetObject(VARIANT* result, IDispatch* object) {
  result->vt = VT_DISPATCH;
  result->pdispVal = object;
}

PARAMDATA P(const wchar_t* name, VARTYPE vt) { return PARAMDATA{const_cast<OLECHAR*>(name), vt}; }

IDispatch* MakeDataEntry(dnc::ComPtr<dnc::IDataEntry> entry) {
  return new Object(
      {}, {
              {L"GetPropertyValue", DISPATCH_METHOD, {P(L"flags", VT_I4)}, VT_VARIANT,
               [entry](VARIANT** a, VARIANT* result) {
                 dnc::Variant value;
                 const HRESULT hr = entry->GetValue(I4(a[0]), &value);
                 if (SUCCEEDED(hr)) comdnc::FromVariant(value, result);
                 return static_cast<HRESULT>(hr);
               }},
              {L"SetPropertyValue", DISPATCH_METHOD, {P(L"flags", VT_I4), P(L"value", VT_VARIANT), P(L"flags2", VT_I4)},
               VT_EMPTY,
               [entry](VARIANT** a, VARIANT*) {
                 dnc::Variant value;
                 if (!comdnc::ToVariant(*a[1], &value)) return DISP_E_TYPEMISMATCH;
                 return static_cast<HRESULT>(entry->SetValue(I4(a[0]), value, I4(a[2])));
               }},
          });
}

IDispatch* MakeDataAccess(dnc::ComPtr<dnc::IJHDataAccess> access) {
  auto get = [access](VARIANT** a, VARIANT* result) {
    dnc::IDataEntry* entry = nullptr;
    const HRESULT hr = access->GetDataEntry(Text(a[0]), I4(a[1]), I4(a[2]), &entry);
    if (SUCCEEDED(hr)) SetObject(result, MakeDataEntry(dnc::ComPtr<dnc::IDataEntry>::Attach(entry)));
    return static_cast<HRESULT>(hr);
  };
  const std::vector<PARAMDATA> parameters{P(L"path", VT_BSTR), P(L"kind", VT_I4), P(L"options", VT_I4)};
  return new Object({comdnc::kDataAccessInterface}, {{L"GetDataEntry2", DISPATCH_METHOD, parameters, VT_DISPATCH, get}});
}

IDispatch* MakeFileSystem(dnc::ComPtr<dnc::IJHFileSystem> files) {
  return new Object(
      {comdnc::kFileSystemInterface},
      {
          {L"ChangeDirectory", DISPATCH_METHOD, {P(L"path", VT_BSTR)}, VT_EMPTY,
           [files](VARIANT** a, VARIANT*) { return static_cast<HRESULT>(files->SelectDirectory(Text(a[0]))); }},
          {L"MakeDirectory", DISPATCH_METHOD, {P(L"path", VT_BSTR)}, VT_EMPTY,
           [files](VARIANT** a, VARIANT*) { return static_cast<HRESULT>(files->MakeDirectory(Text(a[0]))); }},
          {L"FindFileEntry", DISPATCH_METHOD, {P(L"name", VT_BSTR), P(L"flags", VT_I4)}, VT_BSTR,
           [files](VARIANT** a, VARIANT* result) {
             std::string found;
             const HRESULT hr = files->LookUpFile(Text(a[0]), I4(a[1]), &found);
             if (SUCCEEDED(hr)) {
               result->vt = VT_BSTR;
               result->bstrVal = ToBstr(found);
             }
             return static_cast<HRESULT>(hr);
           }},
          {L"TransmitFile", DISPATCH_METHOD, {P(L"workstationPath", VT_BSTR), P(L"controlPath", VT_BSTR)}, VT_EMPTY,
           [files](VARIANT** a, VARIANT*) { return static_cast<HRESULT>(files->TransmitFile(Text(a[0]), Text(a[1]))); }},
      });
}

IDispatch* MakeHandedOut(dnc::ComPtr<dnc::IUnknown> object) {
  auto* made = new Object({}, {});
  made->more = [object](REFIID iid) -> IDispatch* {
    if (IsEqualIID(iid, comdnc::kDataAccessInterface)) {
      dnc::ComPtr<dnc::IJHDataAccess> access;
      if (dnc::Succeeded(object.As(dnc::InterfaceId::DataAccess, &access))) return MakeDataAccess(access);
    }
    if (IsEqualIID(iid, comdnc::kFileSystemInterface)) {
      dnc::ComPtr<dnc::IJHFileSystem> files;
      if (dnc::Succeeded(object.As(dnc::InterfaceId::FileSystem, &files))) return MakeFileSystem(files);
    }
    return nullptr;
  };
  return made;
}

IDispatch* MakeConnection(dnc::ComPtr<dnc::IJHConnection2> connection) {
  auto* made = new Object(
      {comdnc::kConnectionInterface},
      {
          {L"Configure", DISPATCH_METHOD, {P(L"first", VT_I4), P(L"second", VT_I4)}, VT_EMPTY,
           [connection](VARIANT** a, VARIANT*) { return static_cast<HRESULT>(connection->Configure(I4(a[0]), I4(a[1]))); }},
          {L"propertyValue", DISPATCH_PROPERTYPUT, {P(L"index", VT_I4), P(L"value", VT_VARIANT)}, VT_EMPTY,
           [connection](VARIANT** a, VARIANT*) {
             dnc::Variant value;
             if (!comdnc::ToVariant(*a[1], &value)) return DISP_E_TYPEMISMATCH;
             return static_cast<HRESULT>(connection->SetProperty(I4(a[0]), value));
           }},
      });
  made->connection = connection;
  return made;
}

}  // namespace

IDispatch* MakeMachine(dnc::ComPtr<dnc::IMachine> machine) {
  auto* made = new Object(
      {comdnc::kMachineInterface},
      {
          {L"Disconnect", DISPATCH_METHOD, {}, VT_EMPTY,
           [machine](VARIANT**, VARIANT*) { return static_cast<HRESULT>(machine->Disconnect()); }},
          {L"GetInterface", DISPATCH_METHOD, {P(L"kind", VT_I4)}, VT_DISPATCH,
           [machine](VARIANT** a, VARIANT* result) {
             dnc::IUnknown* object = nullptr;
             const HRESULT hr = machine->GetInterfaceObject(I4(a[0]), &object);
             if (SUCCEEDED(hr)) SetObject(result, MakeHandedOut(dnc::ComPtr<dnc::IUnknown>::Attach(object)));
             return static_cast<HRESULT>(hr);
           }},
          {L"GetState", DISPATCH_METHOD, {}, VT_I4,
           [machine](VARIANT**, VARIANT* result) {
             std::int32_t state = 0;
             const HRESULT hr = machine->GetState(&state);
             result->vt = VT_I4;
             result->lVal = state;
             return static_cast<HRESULT>(hr);
           }},
          {L"ConnectRequest3", DISPATCH_METHOD,
           {P(L"connection", VT_DISPATCH), P(L"optional1", VT_VARIANT), P(L"optional2", VT_VARIANT)}, VT_EMPTY,
           [machine](VARIANT** a, VARIANT*) {
             Object* connection = a[0]->pdispVal ? Own(a[0]->pdispVal) : nullptr;
             if (!connection || !connection->connection) return E_INVALIDARG;
             return static_cast<HRESULT>(
                 machine->ConnectionRequest(connection->connection.get(), dnc::Variant::Missing(), dnc::Variant::Missing()));
           }},
      });
  made->more = [machine](REFIID iid) -> IDispatch* {
    if (!IsEqualIID(iid, comdnc::kConnectionInterface)) return nullptr;
    dnc::ComPtr<dnc::IJHConnection2> connection;
    if (dnc::Failed(machine.As(dnc::InterfaceId::Connection2, &connection))) return nullptr;
    return MakeConnection(connection);
  };
  return made;
}

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
  if (dnc::Failed(hr)) return hr;
  IDispatch* object = MakeMachine(dnc::ComPtr<dnc::IMachine>::Attach(machine));
  const HRESULT queried = object->QueryInterface(iid, out);
  object->Release();
  return queried;
}

}  // namespace ostrana::standin
