#include "comdnc/MemberCheck.h"

#include <cwctype>
#include <set>
#include <utility>

#include "comdnc/DispatchObject.h"

namespace ostrana::comdnc {
namespace {

const char* Word(Arg arg) {
  switch (arg) {
    case Arg::Text: return "BSTR";
    case Arg::Long: return "long";
    case Arg::Bool: return "VARIANT_BOOL";
    case Arg::Variant: return "VARIANT";
    case Arg::Object: return "object";
  }
  return "?";
}

// The type word of a parameter; enums and aliases are followed to what they are.
std::string TypeWord(ITypeInfo* info, const TYPEDESC& type, bool pointee = false) {
  switch (type.vt) {
    case VT_BSTR: return "BSTR";
    case VT_I4:
    case VT_INT: return "long";
    case VT_BOOL: return "VARIANT_BOOL";
    case VT_VARIANT: return "VARIANT";
    case VT_DISPATCH:
    case VT_UNKNOWN: return "object";
    case VT_I2: return "short";
    case VT_R8: return "double";
    case VT_R4: return "float";
    case VT_PTR: {
      if (!type.lptdesc) return "pointer";
      const std::string to = TypeWord(info, *type.lptdesc, true);
      // An interface is passed as a pointer to it: still an object.
      return to == "object" && !pointee ? to : to + "*";
    }
    case VT_USERDEFINED: {
      ITypeInfo* referenced = nullptr;
      std::string word = "user type";
      if (SUCCEEDED(info->GetRefTypeInfo(type.hreftype, &referenced))) {
        TYPEATTR* attributes = nullptr;
        if (SUCCEEDED(referenced->GetTypeAttr(&attributes))) {
          if (attributes->typekind == TKIND_ENUM)
            word = "long";
          else if (attributes->typekind == TKIND_ALIAS)
            word = TypeWord(referenced, attributes->tdescAlias, pointee);
          else if (attributes->typekind == TKIND_INTERFACE || attributes->typekind == TKIND_DISPATCH ||
                   attributes->typekind == TKIND_COCLASS)
            word = "object";
          referenced->ReleaseTypeAttr(attributes);
        }
        referenced->Release();
      }
      return word;
    }
    default: return "type " + std::to_string(type.vt);
  }
}

bool IsDispatchBase(const std::wstring& name) {
  for (const wchar_t* base :
       {L"QueryInterface", L"AddRef", L"Release", L"GetTypeInfoCount", L"GetTypeInfo", L"GetIDsOfNames", L"Invoke"})
    if (name == base) return true;
  return false;
}

bool SameName(const std::wstring& a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return i == a.size() && !b[i];
}

FoundMember Read(ITypeInfo* info, const FUNCDESC& function) {
  FoundMember member;
  member.dispid = function.memid;
  member.kind = function.invkind == INVOKE_PROPERTYPUT ? Invoke::PropertyPut : Invoke::Method;
  member.propertyGet = function.invkind != INVOKE_FUNC && function.invkind != INVOKE_PROPERTYPUT;
  BSTR names[33] = {};
  UINT count = 0;
  info->GetNames(function.memid, names, 33, &count);
  if (count == 0) info->GetDocumentation(function.memid, &names[count++], nullptr, nullptr, nullptr);
  member.name = names[0] ? names[0] : L"";
  int optional = 0;
  for (SHORT p = 0; p < function.cParams; ++p) {
    const ELEMDESC& element = function.lprgelemdescParam[p];
    const USHORT flags = element.paramdesc.wParamFlags;
    if (flags & PARAMFLAG_FRETVAL) {
      member.returnsValue = true;  // the interface view
      continue;
    }
    if (flags & PARAMFLAG_FOPT) ++optional;
    member.parameters.push_back(TypeWord(info, element.tdesc));
    const UINT index = static_cast<UINT>(p) + 1;
    member.parameterNames.push_back(index < count && names[index] ? names[index] : L"");
  }
  for (UINT n = 0; n < count && n < 33; ++n) SysFreeString(names[n]);
  // The dispatch view: the result stands where the HRESULT stood.
  const VARTYPE result = function.elemdescFunc.tdesc.vt;
  if (result != VT_HRESULT && result != VT_VOID) member.returnsValue = true;
  member.optional = function.cParamsOpt > optional ? function.cParamsOpt : optional;
  member.vtableOffset = function.oVft;
  return member;
}

// The vtable slots from the offsets. An offset is in the pointer width of the
// process that read the type library: over marshaling the server's, which
// need not be this program's; and the width the library names (its syskind)
// need not be it either, as a loader may convert the offsets of a library of
// the other width to its own. What holds in every case: the interface
// derives from IDispatch, so its first member stands after seven pointers.
// Without that anchor (no member beyond IDispatch's, or offsets of no one
// width) no slots are given, and the order is judged by DISPID.
void NumberSlots(std::vector<FoundMember>& members) {
  int first = 0;
  for (const auto& m : members)
    if (m.vtableOffset > 0 && (first == 0 || m.vtableOffset < first)) first = m.vtableOffset;
  const int width = first / 7;
  if (first % 7 != 0 || (width != 4 && width != 8)) return;
  for (const auto& m : members)
    if (m.vtableOffset % width != 0) return;
  for (auto& m : members) m.vtableSlot = m.vtableOffset / width - 6;
}

// The members of `info` and of the interfaces it derives from, up to IDispatch.
void Collect(ITypeInfo* info, std::vector<FoundMember>& members, int depth) {
  TYPEATTR* attributes = nullptr;
  if (depth > 16 || FAILED(info->GetTypeAttr(&attributes))) return;
  const bool base = IsEqualGUID(attributes->guid, IID_IDispatch) || IsEqualGUID(attributes->guid, IID_IUnknown);
  const WORD functions = attributes->cFuncs;
  const WORD implemented = attributes->cImplTypes;
  const bool coclass = attributes->typekind == TKIND_COCLASS;
  info->ReleaseTypeAttr(attributes);
  if (base) return;
  for (UINT i = 0; !coclass && i < functions; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) continue;
    FoundMember member = Read(info, *function);
    info->ReleaseFuncDesc(function);
    if (IsDispatchBase(member.name)) continue;
    bool known = false;
    for (const auto& m : members)
      known = known || (m.dispid == member.dispid && m.kind == member.kind && m.propertyGet == member.propertyGet);
    if (!known) members.push_back(std::move(member));
  }
  // A coclass describes its default interface; an interface continues in its base.
  HREFTYPE reference = 0;
  ITypeInfo* next = nullptr;
  if (implemented > 0 && SUCCEEDED(info->GetRefTypeOfImplType(0, &reference)) &&
      SUCCEEDED(info->GetRefTypeInfo(reference, &next))) {
    Collect(next, members, depth + 1);
    next->Release();
  }
}

bool Matches(const FoundMember& found, const Member& published) {
  if (found.propertyGet || found.kind != published.kind || !SameName(found.name, published.name)) return false;
  if (found.parameters.size() != published.parameters.size()) return false;
  for (std::size_t i = 0; i < found.parameters.size(); ++i)
    if (found.parameters[i] != Word(published.parameters[i])) return false;
  return found.optional == published.optional && found.returnsValue == published.returnsValue;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

std::string Shape(const std::wstring& name, const std::vector<std::string>& parameters, int optional, bool returnsValue,
                  Invoke kind, bool propertyGet, DISPID dispid) {
  std::string text = Narrow(name) + "(";
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const bool isOptional = static_cast<int>(parameters.size() - i) <= optional;
    text += (i ? ", " : "") + std::string(isOptional ? "[optional] " : "") + parameters[i];
  }
  text += ")";
  if (returnsValue) text += " -> value";
  if (propertyGet) text += " [property get]";
  if (kind == Invoke::PropertyPut) text += " [property put]";
  return text + ", DISPID " + std::to_string(dispid);
}

Finding JudgeOne(const std::vector<FoundMember>& members, const Member& published) {
  Finding finding{&published, false, {}};
  const FoundMember* at = nullptr;
  const FoundMember* named = nullptr;
  for (const auto& m : members) {
    if (m.dispid == published.dispid && m.kind == published.kind && !m.propertyGet) at = &m;
    if (SameName(m.name, published.name) && m.kind == published.kind && !m.propertyGet && !named) named = &m;
  }
  finding.ok = at && Matches(*at, published);
  finding.found = at ? Describe(*at) : "nothing at DISPID " + std::to_string(published.dispid);
  if (!named)
    finding.found += "; no member named " + Narrow(published.name);
  else if (named != at)
    finding.found += "; " + Narrow(published.name) + " is " + Describe(*named);
  return finding;
}

// Without type information the names are all there is to check.
Finding ByName(IDispatch* object, const Member& published) {
  Finding finding{&published, false, {}};
  LPOLESTR names[] = {const_cast<LPOLESTR>(published.name)};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(hr)) {
    finding.ok = id == published.dispid;
    finding.found = Narrow(published.name) + " at DISPID " + std::to_string(id) + ", shape not described";
  } else if (hr == DISP_E_UNKNOWNNAME) {
    finding.found = "no member named " + Narrow(published.name);
  } else {
    finding.ok = true;
    finding.found = "no names given (" + DescribeStatus(hr) + "): called by DISPID " + std::to_string(published.dispid);
  }
  return finding;
}

}  // namespace

std::string Describe(const FoundMember& m) {
  return Shape(m.name, m.parameters, m.optional, m.returnsValue, m.kind, m.propertyGet, m.dispid);
}

std::string Describe(const Member& m) {
  std::vector<std::string> words;
  for (Arg arg : m.parameters) words.push_back(Word(arg));
  return Shape(m.name, words, m.optional, m.returnsValue, m.kind, false, m.dispid);
}

bool Inspection::AllOk() const {
  for (const auto& f : findings)
    if (!f.ok) return false;
  return true;
}

std::string Inspection::Problems(const Interface& published) const {
  std::string text;
  for (const auto& f : findings)
    if (!f.ok)
      text += std::string(text.empty() ? "" : "; ") + "the DNC component's " + published.name + " does not have \"" +
              f.published->operation + "\" as published (" + Describe(*f.published) + "): found " + f.found;
  return text;
}

std::string Inspection::OrderProblem(const Interface& published) const {
  std::vector<const FoundMember*> found;
  for (const Finding& finding : findings)
    for (const FoundMember& m : members)
      if (finding.ok && m.dispid == finding.published->dispid && m.kind == finding.published->kind && !m.propertyGet)
        found.push_back(&m);
  std::set<std::pair<DISPID, Invoke>> used;
  for (const FoundMember* m : found)
    if (!used.insert({m->dispid, m->kind}).second) return "one member serves two operations";
  for (std::size_t i = 1; i < found.size(); ++i) {
    const bool slots = found[i]->vtableSlot > 0 && found[i - 1]->vtableSlot > 0;
    const long before = slots ? found[i - 1]->vtableSlot : found[i - 1]->dispid;
    const long now = slots ? found[i]->vtableSlot : found[i]->dispid;
    if (now <= before) return "the members do not stand in the published order";
    if (&published == &published::kDataEntry && slots && now != before + 1)
      return "get value and set value do not stand side by side";
  }
  return {};
}

Inspection Judge(std::vector<FoundMember> members, const Interface& published) {
  Inspection inspection;
  inspection.typeInformation = true;
  NumberSlots(members);
  inspection.members = std::move(members);
  for (const Member* member : published.members) inspection.findings.push_back(JudgeOne(inspection.members, *member));
  return inspection;
}

Inspection Inspect(IDispatch* object, const Interface& published) {
  UINT count = 0;
  ITypeInfo* info = nullptr;
  if (SUCCEEDED(object->GetTypeInfoCount(&count)) && count > 0 &&
      SUCCEEDED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) && info) {
    std::string view;
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
      view = attributes->typekind == TKIND_DISPATCH  ? "dispatch view"
             : attributes->typekind == TKIND_COCLASS ? "class"
                                                     : "interface view";
      info->ReleaseTypeAttr(attributes);
    }
    std::vector<FoundMember> members;
    Collect(info, members, 0);
    info->Release();
    Inspection inspection = Judge(std::move(members), published);
    inspection.view = std::move(view);
    return inspection;
  }
  Inspection inspection;
  for (const Member* member : published.members) inspection.findings.push_back(ByName(object, *member));
  return inspection;
}

}  // namespace ostrana::comdnc
