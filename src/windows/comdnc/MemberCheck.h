// Checks an object of the DNC component against what the component
// publishes (comdnc/Published.h) before the connector calls anything on it:
// for every operation, the member at the published DISPID must carry the
// published name and shape. The shapes are read from the object's own type
// information (IDispatch::GetTypeInfo, FUNCDESC) in either view a dual
// interface may give: the dispatch view shows an [out, retval] parameter as
// the function's result, the interface view as its last parameter.
//
// Threads: any thread of the multithreaded apartment; nothing is kept.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <string>
#include <vector>

#include "comdnc/Published.h"

namespace ostrana::comdnc {

// One member as the object's type information describes it.
struct FoundMember {
  std::wstring name;
  DISPID dispid = 0;
  Invoke kind = Invoke::Method;
  bool propertyGet = false;             // neither a method nor a put
  std::vector<std::string> parameters;  // type words, [in] parameters only
  std::vector<std::wstring> parameterNames;
  int optional = 0;
  bool returnsValue = false;
  int vtableOffset = 0;  // FUNCDESC::oVft, in the pointer width of the process that read the library
  int vtableSlot = -1;   // from 1 after IDispatch's seven; -1 when the view has none
};

// "PreviewFile(BSTR, long) -> value, DISPID 11"
std::string Describe(const FoundMember& member);
std::string Describe(const Member& member);

struct Finding {
  const Member* published = nullptr;
  bool ok = false;
  std::string found;  // in words: what the object has for it
};

struct Inspection {
  bool typeInformation = false;  // false: checked by name only, called by the published DISPID
  std::string view;              // "dispatch view" / "interface view"
  std::vector<FoundMember> members;
  std::vector<Finding> findings;  // one per published operation, in order

  bool AllOk() const;
  // The problems in one sentence naming interface, operation, published
  // member and what was found; empty when all is well.
  std::string Problems(const Interface& published) const;
  // Whether the members found for the operations stand in the published
  // order (by vtable slot where the view gives one, else by DISPID), the
  // data entry's two side by side, and no member serves two operations;
  // in words, empty when they do.
  std::string OrderProblem(const Interface& published) const;
};

Inspection Inspect(IDispatch* object, const Interface& published);
// The judging half of Inspect, over the members the type information
// described (their slots not yet numbered).
Inspection Judge(std::vector<FoundMember> members, const Interface& published);

}  // namespace ostrana::comdnc
