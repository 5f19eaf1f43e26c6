#include "comdnc/Probe.h"

#include <ole2.h>
#include <windows.h>

#include <charconv>
#include <map>
#include <tuple>
#include <vector>

#include "comdnc/ComComponent.h"
#include "comdnc/DispatchObject.h"
#include "machine/OstranaLib.h"

namespace ostrana::comdnc {
namespace {

std::string GuidText(const GUID& guid) {
  wchar_t text[64];
  StringFromGUID2(guid, text, 64);
  std::string result;
  for (const wchar_t* c = text; *c; ++c) result += static_cast<char>(*c);
  return result;
}

std::string TypeName(const TYPEDESC& type) {
  switch (type.vt) {
    case VT_I2: return "I2";
    case VT_I4: return "I4";
    case VT_UI4: return "UI4";
    case VT_INT: return "INT";
    case VT_R4: return "R4";
    case VT_R8: return "R8";
    case VT_BSTR: return "BSTR";
    case VT_VARIANT: return "VARIANT";
    case VT_DISPATCH: return "IDispatch*";
    case VT_UNKNOWN: return "IUnknown*";
    case VT_BOOL: return "BOOL";
    case VT_HRESULT: return "HRESULT";
    case VT_VOID: return "void";
    case VT_PTR: return type.lptdesc ? TypeName(*type.lptdesc) + "*" : "pointer";
    case VT_USERDEFINED: return "user type";
    default: return "type " + std::to_string(type.vt);
  }
}

// The interface's own type information (a coclass's first implemented type).
ITypeInfo* OwnTypeInfo(IDispatch* object) {
  ITypeInfo* info = nullptr;
  if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) || !info) return nullptr;
  TYPEATTR* attributes = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
    const bool coclass = attributes->typekind == TKIND_COCLASS && attributes->cImplTypes > 0;
    info->ReleaseTypeAttr(attributes);
    HREFTYPE reference = 0;
    ITypeInfo* implemented = nullptr;
    if (coclass && SUCCEEDED(info->GetRefTypeOfImplType(0, &reference)) &&
        SUCCEEDED(info->GetRefTypeInfo(reference, &implemented))) {
      info->Release();
      return implemented;
    }
  }
  return info;
}

// Lists the interface and checks the table's names; false when a name does not resolve.
bool Show(IDispatch* object, const std::string& interfaceName, const GUID* iid, const DispatchNames& names,
          std::FILE* out) {
  std::fprintf(out, "\n%s%s%s\n", interfaceName.c_str(), iid ? " " : "", iid ? GuidText(*iid).c_str() : "");
  if (ITypeInfo* info = OwnTypeInfo(object)) {
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
      std::fprintf(out, "  %s, %s\n", (attributes->wTypeFlags & TYPEFLAG_FDUAL) ? "dual" : "not dual (IDispatch only)",
                   attributes->typekind == TKIND_DISPATCH ? "dispinterface" : "interface");
      std::map<int, std::string> lines;
      for (UINT i = 0; i < attributes->cFuncs; ++i) {
        FUNCDESC* function = nullptr;
        if (FAILED(info->GetFuncDesc(i, &function))) continue;
        BSTR parameterNames[32] = {};
        UINT count = 0;
        info->GetNames(function->memid, parameterNames, 32, &count);
        std::string line = FromBstr(parameterNames[0]) + "(";
        for (SHORT p = 0; p < function->cParams; ++p) {
          const ELEMDESC& element = function->lprgelemdescParam[p];
          const USHORT flags = element.paramdesc.wParamFlags;
          line += std::string(p ? ", " : "") + ((flags & PARAMFLAG_FRETVAL) ? "[out, retval] " : (flags & PARAMFLAG_FOUT) ? "[out] " : "") +
                  (static_cast<UINT>(p + 1) < count ? FromBstr(parameterNames[p + 1]) + ": " : "") + TypeName(element.tdesc);
        }
        line += ") -> " + TypeName(function->elemdescFunc.tdesc);
        if (function->invkind == INVOKE_PROPERTYPUT) line += "  [property put]";
        if (function->invkind == INVOKE_PROPERTYGET) line += "  [property get]";
        line += "  DISPID " + std::to_string(function->memid);
        const int slot = static_cast<int>(function->oVft / static_cast<SHORT>(sizeof(void*)));
        for (UINT n = 0; n < count && n < 32; ++n) SysFreeString(parameterNames[n]);
        lines[slot * 1000 + static_cast<int>(i)] = "  vtable slot " + std::to_string(slot) + ": " + line;
        info->ReleaseFuncDesc(function);
      }
      for (const auto& [key, line] : lines) std::fprintf(out, "%s\n", line.c_str());
      info->ReleaseTypeAttr(attributes);
    }
    info->Release();
  } else {
    std::fprintf(out, "  no type information\n");
  }
  bool all = true;
  object->AddRef();
  DispatchObject dispatch(object, interfaceName, &names);
  for (const OperationName& entry : names.All()) {
    if (entry.interfaceName != interfaceName) continue;
    DISPID id = 0;
    std::string tried;
    for (const auto& name : entry.names) tried += (tried.empty() ? "" : ", ") + name;
    if (SUCCEEDED(dispatch.Resolve(entry, &id))) {
      std::fprintf(out, "  operation %d, %s: %s found, DISPID %ld\n", entry.slot, entry.operation.c_str(), tried.c_str(),
                   static_cast<long>(id));
    } else {
      dnc::TakeFailureText();
      std::fprintf(out, "  operation %d, %s: %s NOT FOUND (set %s.%s in dnc-names.txt)\n", entry.slot,
                   entry.operation.c_str(), tried.c_str(), interfaceName.c_str(), entry.operation.c_str());
      all = false;
    }
  }
  return all;
}

VARIANT I4(std::int32_t value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

void ClearAll(std::vector<VARIANT>& arguments) {
  for (auto& v : arguments) VariantClear(&v);
}

IDispatch* QueryDispatch(IUnknown* object, const IID& iid) {
  IDispatch* result = nullptr;
  if (FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&result)))) return nullptr;
  return result;
}

// The object the machine hands out for `kind`, queried for `iid`.
IDispatch* HandedOut(IDispatch* machine, const DispatchNames& names, std::int32_t kind, const IID& iid) {
  machine->AddRef();
  DispatchObject dispatch(machine, "IJHMachine", &names);
  std::vector<VARIANT> arguments{I4(kind)};
  VARIANT result;
  VariantInit(&result);
  IDispatch* queried = nullptr;
  if (SUCCEEDED(dispatch.Call("GetInterfaceObject", arguments, &result)) &&
      (result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) && result.punkVal)
    queried = QueryDispatch(result.punkVal, iid);
  VariantClear(&result);
  dnc::TakeFailureText();
  return queried;
}

// Connects the probe's machine object as the connector does; the failure in words when it cannot.
bool Connect(IDispatch* machine, IDispatch* connection, const DispatchNames& names, const std::string& machineText,
             const std::string& number, std::FILE* out) {
  std::uint32_t connectionNumber = 0;
  std::from_chars(number.data(), number.data() + number.size(), connectionNumber);
  connection->AddRef();
  DispatchObject settings(connection, "IJHConnection2", &names);
  std::vector<VARIANT> configure{I4(dnc::kConfigureFirst), I4(dnc::kConfigureSecond)};
  settings.Call("Configure", configure, nullptr);
  std::vector<VARIANT> text{I4(dnc::kPropertyConnectionText), {}};
  FromVariant(dnc::Variant::FromText(machineText), &text[1]);
  settings.Call("SetProperty", text, nullptr, DISPATCH_PROPERTYPUT);
  ClearAll(text);
  std::vector<VARIANT> numbered{I4(dnc::kPropertyConnectionNumber), {}};
  FromVariant(dnc::Variant::FromUI4(connectionNumber), &numbered[1]);
  settings.Call("SetProperty", numbered, nullptr, DISPATCH_PROPERTYPUT);
  dnc::TakeFailureText();

  machine->AddRef();
  DispatchObject session(machine, "IJHMachine", &names);
  std::vector<VARIANT> request(3);
  VariantInit(&request[0]);
  request[0].vt = VT_DISPATCH;
  request[0].pdispVal = connection;
  connection->AddRef();
  FromVariant(dnc::Variant::Missing(), &request[1]);
  FromVariant(dnc::Variant::Missing(), &request[2]);
  const HRESULT hr = session.Call("ConnectionRequest", request, nullptr);
  ClearAll(request);
  std::fprintf(out, "\nConnecting to %s, connection %s: %s\n", machineText.c_str(), number.c_str(),
               SUCCEEDED(hr) ? "connected" : DescribeStatus(hr).c_str());
  if (const std::string said = dnc::TakeFailureText(); !said.empty()) std::fprintf(out, "  %s\n", said.c_str());
  if (FAILED(hr)) return false;
  std::vector<VARIANT> none;
  VARIANT state;
  VariantInit(&state);
  const HRESULT got = session.Call("GetState", none, &state);
  if (SUCCEEDED(got) && SUCCEEDED(VariantChangeType(&state, &state, 0, VT_I4)))
    std::fprintf(out, "  machine state %ld: %s\n", static_cast<long>(state.lVal), machine::MachineStateName(state.lVal));
  else
    std::fprintf(out, "  machine state: %s\n", DescribeStatus(got).c_str());
  VariantClear(&state);
  dnc::TakeFailureText();
  return true;
}

// A data entry of the exchange table's first row, to show the entry's interface.
IDispatch* SomeDataEntry(IDispatch* access, const DispatchNames& names) {
  access->AddRef();
  DispatchObject dispatch(access, "IJHDataAccess", &names);
  std::vector<VARIANT> arguments{{}, I4(dnc::kDataEntryKind), I4(dnc::kDataEntryOptions)};
  FromVariant(dnc::Variant::FromText(machine::CellPath(0)), &arguments[0]);
  VARIANT result;
  VariantInit(&result);
  IDispatch* entry = nullptr;
  if (SUCCEEDED(dispatch.Call("GetDataEntry", arguments, &result)) &&
      (result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) && result.punkVal)
    entry = QueryDispatch(result.punkVal, IID_IDispatch);
  ClearAll(arguments);
  VariantClear(&result);
  dnc::TakeFailureText();
  return entry;
}

}  // namespace

int RunProbe(const DispatchNames& names, const std::string& machineText, const std::string& number, std::FILE* out) {
  IDispatch* machine = nullptr;
  const HRESULT created =
      CoCreateInstance(kMachineClass, nullptr, kCreateContext, kMachineInterface, reinterpret_cast<void**>(&machine));
  if (created != S_OK || !machine) {
    std::fprintf(out, "ostrana: the DNC component %s cannot be created: %s\n", GuidText(kMachineClass).c_str(),
                 DescribeStatus(created).c_str());
    if (machine) machine->Release();
    return 1;
  }
  std::fprintf(out, "The DNC component %s: created.\n", GuidText(kMachineClass).c_str());
  bool all = Show(machine, "IJHMachine", &kMachineInterface, names, out);
  IDispatch* connection = QueryDispatch(machine, kConnectionInterface);
  if (connection) {
    all = Show(connection, "IJHConnection2", &kConnectionInterface, names, out) && all;
  } else {
    std::fprintf(out, "\nIJHConnection2 %s: NOT OFFERED by the machine object\n", GuidText(kConnectionInterface).c_str());
    all = false;
  }
  const bool connected = connection && !machineText.empty() && Connect(machine, connection, names, machineText, number, out);
  if (connection) connection->Release();

  for (const auto& [kind, iid, interfaceName] :
       {std::tuple{dnc::kDataAccessObject, kDataAccessInterface, "IJHDataAccess"},
        std::tuple{dnc::kFileSystemObject, kFileSystemInterface, "IJHFileSystem"}}) {
    IDispatch* object = HandedOut(machine, names, kind, iid);
    if (!object) {
      std::fprintf(out, "\n%s %s: not handed out (kind %d)%s\n", interfaceName, GuidText(iid).c_str(), kind,
                   connected ? "" : "; give connection data to look again once connected");
      all = false;
      continue;
    }
    all = Show(object, interfaceName, &iid, names, out) && all;
    if (kind == dnc::kDataAccessObject) {
      if (IDispatch* entry = SomeDataEntry(object, names)) {
        all = Show(entry, "IJHDataEntry", nullptr, names, out) && all;
        entry->Release();
      } else {
        std::fprintf(out, "\nIJHDataEntry: no entry of %s to look at%s\n", machine::CellPath(0).c_str(),
                     connected ? " (is the exchange table on the control?)" : "");
      }
    }
    object->Release();
  }
  if (connected) {
    machine->AddRef();
    DispatchObject session(machine, "IJHMachine", &names);
    std::vector<VARIANT> none;
    session.Call("Disconnect", none, nullptr);
    std::fprintf(out, "\nDisconnected.\n");
  }
  machine->Release();
  std::fprintf(out, "\n%s\n", all ? "Every name the connector calls was found."
                                  : "Something the connector calls was not found: see above (names go in "
                                    "dnc-names.txt beside ostrana.exe).");
  return all && (machineText.empty() || connected) ? 0 : 3;
}

}  // namespace ostrana::comdnc
