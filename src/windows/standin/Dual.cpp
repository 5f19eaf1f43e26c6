#include "standin/Dual.h"

#include "common/WideText.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

namespace ostrana::standin {
namespace {

std::mutex callLock;
std::vector<std::string> calls;  // guarded by callLock

std::wstring ModuleFolder() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleFolder), &module);
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

const wchar_t* LibraryFile(Options::Shape shape) {
  switch (shape) {
    case Options::Shape::LookUpMoved: return L"dnc-standin-lookup-moved.tlb";
    case Options::Shape::LookUpRenamed: return L"dnc-standin-lookup-renamed.tlb";
    default: return L"dnc-standin.tlb";
  }
}

}  // namespace

HRESULT RegisterTypeLibrary() {
  ITypeLib* types = nullptr;
  const HRESULT hr =
      LoadTypeLibEx((ModuleFolder() + LibraryFile(Options::Shape::Published)).c_str(), REGKIND_REGISTER, &types);
  if (types) types->Release();
  return hr;
}

std::atomic<long>& LiveObjects() {
  static std::atomic<long> live{0};
  return live;
}

std::atomic<long>& MadeObjects() {
  static std::atomic<long> made{0};
  return made;
}

Options OptionsFromEnvironment() {
  Options options;
  const char* text = std::getenv("OSTRANA_STANDIN_VARIANT");
  const std::string variant = text ? text : "";
  auto has = [&](const char* word) {
    return ("," + variant + ",").find(std::string(",") + word + ",") != std::string::npos;
  };
  if (has("lookup-moved")) options.shape = Options::Shape::LookUpMoved;
  if (has("lookup-renamed")) options.shape = Options::Shape::LookUpRenamed;
  options.interfaceView = has("interface-view");
  if (has("cells-null")) options.cellType = VT_NULL;
  if (has("cells-bool")) options.cellType = VT_BOOL;
  if (has("cells-decimal")) options.cellType = VT_DECIMAL;
  return options;
}

void RecordCall(const std::string& call, DWORD madeOn, const std::string& detail) {
  std::lock_guard guard(callLock);
  calls.push_back(call);
  if (const char* file = std::getenv("OSTRANA_STANDIN_CALLS"); file && *file)
    if (std::FILE* out = std::fopen(file, "a")) {
      std::fprintf(out, "%s%s%s\t%lu %lu\n", call.c_str(), detail.empty() ? "" : " ", detail.c_str(), GetCurrentThreadId(),
                   madeOn);
      std::fclose(out);
    }
}

std::vector<std::string> Calls() {
  std::lock_guard guard(callLock);
  return calls;
}

int CallCount(const std::string& member) {
  std::lock_guard guard(callLock);
  int count = 0;
  for (const auto& call : calls) count += call.compare(0, member.size(), member) == 0;
  return count;
}

void ClearCalls() {
  std::lock_guard guard(callLock);
  calls.clear();
}

TypeInfos TypesOf(const Options& options, REFIID iid) {
  static std::mutex lock;
  static std::map<Options::Shape, ITypeLib*> libraries;
  static std::map<std::pair<Options::Shape, std::wstring>, TypeInfos> known;
  wchar_t key[64];
  StringFromGUID2(iid, key, 64);
  std::lock_guard guard(lock);
  auto found = known.find({options.shape, key});
  if (found != known.end()) return found->second;
  ITypeLib*& library = libraries[options.shape];
  if (!library) {
    const std::wstring file = ModuleFolder() + LibraryFile(options.shape);
    if (FAILED(LoadTypeLibEx(file.c_str(), REGKIND_NONE, &library))) {
      std::fprintf(stderr, "dnc stand-in: cannot load %ls\n", file.c_str());
      library = nullptr;
      return {};
    }
  }
  TypeInfos types;
  ITypeInfo* info = nullptr;
  if (FAILED(library->GetTypeInfoOfGuid(iid, &info))) return {};
  TYPEATTR* attributes = nullptr;
  info->GetTypeAttr(&attributes);
  const bool dispatch = attributes && attributes->typekind == TKIND_DISPATCH;
  if (attributes) info->ReleaseTypeAttr(attributes);
  // A dual interface is found as its dispatch view; its interface view is behind it.
  HREFTYPE reference = 0;
  types.dispatchView = info;
  types.interfaceView = info;
  ITypeInfo* behind = nullptr;
  if (dispatch && SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference)) &&
      SUCCEEDED(info->GetRefTypeInfo(reference, &behind)))
    types.interfaceView = behind;
  known[{options.shape, key}] = types;
  return types;
}

HRESULT NotHere(const char* member) {
  RecordCall(member);
  return E_NOTIMPL;
}

HRESULT Answer(dnc::HRESULT hr) {
  const std::string text = dnc::TakeFailureText();
  if (dnc::Failed(hr) && !text.empty()) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
      BSTR description = Wide(text);
      create->SetDescription(description);
      SysFreeString(description);
      create->SetSource(const_cast<LPOLESTR>(L"Ostrana DNC stand-in"));
      IErrorInfo* info = nullptr;
      if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
      }
      create->Release();
    }
  }
  return static_cast<HRESULT>(hr);
}

BSTR Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result, length);
  return result;
}

std::string Narrow(BSTR text) {
  if (!text) return {};
  const int wide = static_cast<int>(SysStringLen(text));
  const int length = WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, wide, result.data(), length, nullptr, nullptr);
  return result;
}

std::string Utf8Of(BSTR text) { return text ? Utf8(text, SysStringLen(text)) : std::string(); }

dnc::Variant FromCom(const VARIANT& value) {
  switch (value.vt) {
    case VT_I2: return dnc::Variant::FromI2(value.iVal);
    case VT_I4: return dnc::Variant::FromI4(value.lVal);
    case VT_UI4: return dnc::Variant::FromUI4(value.ulVal);
    case VT_R4: return dnc::Variant::FromR4(value.fltVal);
    case VT_R8: return dnc::Variant::FromR8(value.dblVal);
    case VT_BSTR: return dnc::Variant::FromText(Narrow(value.bstrVal));
    default: return {};
  }
}

void ToCom(const dnc::Variant& value, VARIANT* out) {
  VariantInit(out);
  using Type = dnc::Variant::Type;
  switch (value.type) {
    case Type::I2:
      out->vt = VT_I2;
      out->iVal = value.i2;
      break;
    case Type::I4:
      out->vt = VT_I4;
      out->lVal = value.i4;
      break;
    case Type::UI4:
      out->vt = VT_UI4;
      out->ulVal = value.ui4;
      break;
    case Type::R4:
      out->vt = VT_R4;
      out->fltVal = value.r4;
      break;
    case Type::R8:
      out->vt = VT_R8;
      out->dblVal = value.r8;
      break;
    case Type::Text:
      out->vt = VT_BSTR;
      out->bstrVal = Wide(value.text);
      break;
    default: break;
  }
}

}  // namespace ostrana::standin
