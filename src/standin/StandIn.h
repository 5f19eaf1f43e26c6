// A stand-in for HEIDENHAIN's DNC component, for tests and development on
// Windows (and Wine) only, never installed: an in-process COM server under
// the component's CLSID whose objects answer IDispatch calls by the names
// the connector's name table uses, over the virtual control. Its type
// information (for ostrana --dnc-probe) lists the operations in slot order;
// the file system's third operation has a name of its own, so that the
// connector's lookup by slot is exercised.
//
// Threads: objects are created in the caller's apartment (ThreadingModel
// Both) and may be called from any thread, as the virtual control may.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "dnc/Dnc.h"

namespace ostrana::standin {

// The machine object over a machine of the virtual control's component.
IDispatch* MakeMachine(dnc::ComPtr<dnc::IMachine> machine);

// The class factory of the machine object, over `component` (which must
// outlive it): what the DLL registers, and what a test registers in its own
// process (CoRegisterClassObject) to run the late-bound backend against a
// virtual control it holds.
class Factory final : public IClassFactory {
 public:
  explicit Factory(dnc::IComponent& component) : component_(component) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // owned by its maker, not by references
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  dnc::IComponent& component_;
};

}  // namespace ostrana::standin
