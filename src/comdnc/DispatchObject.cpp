#include "comdnc/DispatchObject.h"

#include <cstdio>

namespace ostrana::comdnc {

BSTR ToBstr(const std::string& text) {
  const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), result, length);
  return result;
}

std::string FromBstr(BSTR text) {
  if (!text) return {};
  const int wide = static_cast<int>(SysStringLen(text));
  const int length = WideCharToMultiByte(CP_THREAD_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text, wide, result.data(), length, nullptr, nullptr);
  return result;
}

bool ToVariant(const VARIANT& in, dnc::Variant* out) {
  switch (in.vt) {
    case VT_EMPTY: *out = dnc::Variant(); return true;
    case VT_I2: *out = dnc::Variant::FromI2(in.iVal); return true;
    case VT_I4: *out = dnc::Variant::FromI4(in.lVal); return true;
    case VT_UI4: *out = dnc::Variant::FromUI4(in.ulVal); return true;
    case VT_R4: *out = dnc::Variant::FromR4(in.fltVal); return true;
    case VT_R8: *out = dnc::Variant::FromR8(in.dblVal); return true;
    case VT_BSTR: *out = dnc::Variant::FromText(FromBstr(in.bstrVal)); return true;
    default: return false;
  }
}

void FromVariant(const dnc::Variant& in, VARIANT* out) {
  VariantInit(out);
  using Type = dnc::Variant::Type;
  switch (in.type) {
    case Type::I2: out->vt = VT_I2; out->iVal = in.i2; break;
    case Type::I4: out->vt = VT_I4; out->lVal = in.i4; break;
    case Type::UI4: out->vt = VT_UI4; out->ulVal = in.ui4; break;
    case Type::R4: out->vt = VT_R4; out->fltVal = in.r4; break;
    case Type::R8: out->vt = VT_R8; out->dblVal = in.r8; break;
    case Type::Text: out->vt = VT_BSTR; out->bstrVal = ToBstr(in.text); break;
    case Type::Error: out->vt = VT_ERROR; out->scode = in.error; break;
    default: break;
  }
}

std::string DescribeStatus(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
  struct Known {
    HRESULT hr;
    const char* text;
  };
  static const Known known[] = {
      {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG: the DNC component is not installed"},
      {E_NOINTERFACE, "E_NOINTERFACE: the component does not offer this interface"},
      {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME: no operation of that name"},
      {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT: the operation takes another number of arguments"},
      {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH: an argument of the wrong type"},
      {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED: COM is not initialised"},
      {E_ACCESSDENIED, "E_ACCESSDENIED: access denied"},
  };
  for (const auto& k : known)
    if (k.hr == hr) return std::string(code) + " (" + k.text + ")";
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string meaning = text ? text : "";
  if (text) LocalFree(text);
  while (!meaning.empty() && (meaning.back() == '\n' || meaning.back() == '\r' || meaning.back() == '.')) meaning.pop_back();
  return meaning.empty() ? code : std::string(code) + " (" + meaning + ")";
}

DispatchObject::DispatchObject(IDispatch* object, std::string interfaceName, const DispatchNames* names)
    : object_(object), interfaceName_(std::move(interfaceName)), names_(names) {}

DispatchObject::~DispatchObject() {
  if (object_) object_->Release();
}

HRESULT DispatchObject::ResolveSlot(int slot, DISPID* id) {
  ITypeInfo* info = nullptr;
  if (FAILED(object_->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) || !info) return DISP_E_UNKNOWNNAME;
  TYPEATTR* attributes = nullptr;
  // A coclass describes its interface as its first implemented type.
  if (SUCCEEDED(info->GetTypeAttr(&attributes)) && attributes->typekind == TKIND_COCLASS && attributes->cImplTypes > 0) {
    HREFTYPE reference = 0;
    ITypeInfo* implemented = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(0, &reference)) &&
        SUCCEEDED(info->GetRefTypeInfo(reference, &implemented))) {
      info->ReleaseTypeAttr(attributes);
      info->Release();
      info = implemented;
      attributes = nullptr;
      info->GetTypeAttr(&attributes);
    }
  }
  HRESULT hr = DISP_E_UNKNOWNNAME;
  if (attributes) {
    // The interface's own functions in vtable order; IUnknown's and
    // IDispatch's come first in a dual interface and are not its operations.
    std::map<short, MEMBERID> byPlace;
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
      FUNCDESC* function = nullptr;
      if (FAILED(info->GetFuncDesc(i, &function))) continue;
      if (function->oVft >= static_cast<short>(7 * sizeof(void*))) byPlace[function->oVft] = function->memid;
      info->ReleaseFuncDesc(function);
    }
    int place = 0;
    for (const auto& [offset, member] : byPlace)
      if (++place == slot) {
        *id = member;
        hr = S_OK;
      }
    info->ReleaseTypeAttr(attributes);
  }
  info->Release();
  return hr;
}

HRESULT DispatchObject::Resolve(const OperationName& entry, DISPID* id) {
  {
    std::lock_guard guard(lock_);
    const auto it = ids_.find(entry.operation);
    if (it != ids_.end()) {
      *id = it->second;
      return S_OK;
    }
  }
  std::string tried;
  for (const std::string& name : entry.names) {
    int slot = 0;
    HRESULT hr;
    if (IsSlotName(name, &slot)) {
      hr = ResolveSlot(slot, id);
    } else {
      BSTR wide = ToBstr(name);
      LPOLESTR names[] = {wide};
      hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
      SysFreeString(wide);
    }
    if (SUCCEEDED(hr)) {
      std::lock_guard guard(lock_);
      ids_[entry.operation] = *id;
      return S_OK;
    }
    tried += (tried.empty() ? "" : ", ") + name;
  }
  dnc::SetFailureText("The DNC component's " + interfaceName_ + " has no operation named " + tried + " (" +
                      entry.operation + "). Correct the name in dnc-names.txt beside ostrana.exe; "
                      "ostrana --dnc-probe lists the operations the component has.");
  return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchObject::Call(const std::string& operation, std::vector<VARIANT>& arguments, VARIANT* result,
                             WORD kind) {
  if (!object_) return E_POINTER;
  DISPID id = 0;
  HRESULT hr = Resolve(names_->Get(interfaceName_, operation), &id);
  if (FAILED(hr)) return hr;
  // IDispatch takes the arguments last first.
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  DISPID named = DISPID_PROPERTYPUT;
  if (kind == DISPATCH_PROPERTYPUT) {
    // The value of a property put is the named argument; it stands first.
    parameters.rgdispidNamedArgs = &named;
    parameters.cNamedArgs = 1;
  }
  EXCEPINFO exception{};
  UINT badArgument = 0;
  hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters, result, &exception, &badArgument);
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    hr = exception.scode ? exception.scode : (exception.wCode ? MAKE_HRESULT(1, FACILITY_ITF, exception.wCode) : E_FAIL);
    if (exception.bstrDescription) dnc::SetFailureText(FromBstr(exception.bstrDescription));
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return hr;
}

}  // namespace ostrana::comdnc
