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

dnc::Variant ToVariant(const VARIANT& in) {
  switch (in.vt) {
    case VT_I2: return dnc::Variant::FromI2(in.iVal);
    case VT_I4: return dnc::Variant::FromI4(in.lVal);
    case VT_UI4: return dnc::Variant::FromUI4(in.ulVal);
    case VT_R4: return dnc::Variant::FromR4(in.fltVal);
    case VT_R8: return dnc::Variant::FromR8(in.dblVal);
    case VT_BSTR: return dnc::Variant::FromText(FromBstr(in.bstrVal));
    default: return {};
  }
}

void FromVariant(const dnc::Variant& in, VARIANT* out) {
  VariantInit(out);
  using Type = dnc::Variant::Type;
  switch (in.type) {
    case Type::I2:
      out->vt = VT_I2;
      out->iVal = in.i2;
      break;
    case Type::I4:
      out->vt = VT_I4;
      out->lVal = in.i4;
      break;
    case Type::UI4:
      out->vt = VT_UI4;
      out->ulVal = in.ui4;
      break;
    case Type::R4:
      out->vt = VT_R4;
      out->fltVal = in.r4;
      break;
    case Type::R8:
      out->vt = VT_R8;
      out->dblVal = in.r8;
      break;
    case Type::Text:
      out->vt = VT_BSTR;
      out->bstrVal = ToBstr(in.text);
      break;
    case Type::Error:
      out->vt = VT_ERROR;
      out->scode = in.error;
      break;
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
      {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME: no member of that name"},
      {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND: the member is not there as published"},
      {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND: an argument is missing"},
      {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT: the member takes another number of arguments"},
      {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH: an argument of the wrong type"},
      {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED: COM is not initialised"},
      {E_ACCESSDENIED, "E_ACCESSDENIED: access denied"},
      {static_cast<HRESULT>(0x800404C8), "the file is not on the control"},
      {static_cast<HRESULT>(0x800404CE), "the file is not on the control"},
  };
  for (const auto& k : known)
    if (k.hr == hr) return std::string(code) + " (" + k.text + ")";
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string meaning = text ? text : "";
  if (text) LocalFree(text);
  while (!meaning.empty() && (meaning.back() == '\n' || meaning.back() == '\r' || meaning.back() == '.'))
    meaning.pop_back();
  return meaning.empty() ? code : std::string(code) + " (" + meaning + ")";
}

DispatchObject::~DispatchObject() {
  if (object_) object_->Release();
}

HRESULT DispatchObject::Call(const Member& member, std::vector<VARIANT>& arguments, VARIANT* result) {
  if (!object_) return E_POINTER;
  const WORD kind = member.kind == Invoke::PropertyPut ? DISPATCH_PROPERTYPUT : DISPATCH_METHOD;
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
  HRESULT hr = object_->Invoke(member.dispid, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters, result, &exception,
                               &badArgument);
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    hr =
        exception.scode ? exception.scode : (exception.wCode ? MAKE_HRESULT(1, FACILITY_ITF, exception.wCode) : E_FAIL);
    if (exception.bstrDescription) dnc::SetFailureText(FromBstr(exception.bstrDescription));
  } else if (dnc::NotInvoked(hr)) {
    char id[16];
    std::snprintf(id, sizeof id, "%ld", static_cast<long>(member.dispid));
    dnc::SetFailureText(std::string("the DNC component's ") + published_->name + " refused to invoke \"" +
                        member.operation + "\" (DISPID " + id + "): " + DescribeStatus(hr));
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return hr;
}

}  // namespace ostrana::comdnc
