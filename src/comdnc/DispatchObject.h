// One interface of the DNC component, called late-bound: the interface's
// pointer (queried by its IID; the component's interfaces are dual, so it is
// an IDispatch), its operations resolved by the names of DispatchNames, and
// Invoke with the arguments in the order the operation takes them. A failed
// call returns the component's HRESULT (an exception's own code for
// DISP_E_EXCEPTION) and leaves its words with dnc::SetFailureText.
//
// Threads: any thread of the multithreaded apartment; the cache of resolved
// names is guarded.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "comdnc/DispatchNames.h"
#include "dnc/Com.h"

namespace ostrana::comdnc {

// BSTR and VARIANT in the connector's terms: texts in the thread's ANSI
// code page (CP_THREAD_ACP), as the component takes paths and names.
BSTR ToBstr(const std::string& text);
std::string FromBstr(BSTR text);
// A cell value as the connector knows it; nothing for a type it has no use for.
bool ToVariant(const VARIANT& in, dnc::Variant* out);
void FromVariant(const dnc::Variant& in, VARIANT* out);
// "0x80040154 (REGDB_E_CLASSNOTREG: ...)": a status code and what it means.
std::string DescribeStatus(HRESULT hr);

class DispatchObject {
 public:
  DispatchObject() = default;
  DispatchObject(IDispatch* object, std::string interfaceName, const DispatchNames* names);
  ~DispatchObject();
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  IDispatch* get() const { return object_; }
  const std::string& InterfaceName() const { return interfaceName_; }

  // Calls `operation` with `arguments` (in the operation's order; not
  // cleared here). `result` (may be null) receives what the operation
  // gives back: its [out, retval] parameter.
  HRESULT Call(const std::string& operation, std::vector<VARIANT>& arguments, VARIANT* result,
               WORD kind = DISPATCH_METHOD);

  // The DISPID of an operation, or a failure that names the interface and
  // the names tried.
  HRESULT Resolve(const OperationName& entry, DISPID* id);

 private:
  HRESULT ResolveSlot(int slot, DISPID* id);

  IDispatch* object_ = nullptr;
  std::string interfaceName_;
  const DispatchNames* names_ = nullptr;
  std::mutex lock_;  // guards ids_
  std::map<std::string, DISPID> ids_;
};

}  // namespace ostrana::comdnc
