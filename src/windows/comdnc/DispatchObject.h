// One interface of the DNC component, called late-bound: the interface's
// pointer (queried by its IID; the component's interfaces are dual, so it is
// an IDispatch) and Invoke of its published members (comdnc/Published.h) by
// their DISPIDs, with the arguments in the order the member takes them. A
// failed call returns the component's HRESULT (an exception's own code for
// DISP_E_EXCEPTION) and leaves its words with dnc::SetFailureText.
//
// Threads: any thread of the multithreaded apartment.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <string>
#include <vector>

#include "comdnc/Published.h"
#include "dnc/Com.h"

namespace ostrana::comdnc {

// BSTR and VARIANT in the connector's terms: texts in the thread's ANSI
// code page (CP_THREAD_ACP), as the component takes paths and names.
BSTR ToBstr(const std::string& text);
std::string FromBstr(BSTR text);
// A value as the connector knows it: the numeric types as they are, texts,
// and Empty for every type it has no use for (a cell then reads as 0.0).
dnc::Variant ToVariant(const VARIANT& in);
void FromVariant(const dnc::Variant& in, VARIANT* out);
// "0x80040154 (REGDB_E_CLASSNOTREG: ...)": a status code and what it means.
std::string DescribeStatus(HRESULT hr);

class DispatchObject {
 public:
  DispatchObject() = default;
  // Takes over the reference `object` holds.
  DispatchObject(IDispatch* object, const Interface& published) : object_(object), published_(&published) {}
  ~DispatchObject();
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  IDispatch* get() const { return object_; }
  const Interface& Published() const { return *published_; }

  // Calls `member` by its published DISPID with `arguments` (in the member's
  // order; not cleared here). `result` (may be null) receives what it gives
  // back. A failure of the call itself (not invoked: DISP_E_MEMBERNOTFOUND,
  // DISP_E_BADPARAMCOUNT, ...) comes back as that code, the component's own
  // failure as the code its exception carries.
  HRESULT Call(const Member& member, std::vector<VARIANT>& arguments, VARIANT* result);

 private:
  IDispatch* object_ = nullptr;
  const Interface* published_ = nullptr;
};

}  // namespace ostrana::comdnc
