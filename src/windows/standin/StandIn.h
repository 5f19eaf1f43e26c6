// A stand-in for HEIDENHAIN's DNC component, for tests and development on
// Windows (and Wine) only, never installed: a COM server under the
// component's CLSID whose objects implement the published interfaces
// (DncTypes.idl) over the virtual control, and dispatch through the type
// library built from that IDL, so that they refuse what the real component
// refuses. Every member's calls are counted (standin/Dual.h), so a test can
// prove that nothing but the operations the connector means is ever called.
//
// Threads: objects are created in the caller's apartment (ThreadingModel
// Both) and may be called from any thread, as the virtual control may.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "dnc/Dnc.h"
#include "standin/Dual.h"

namespace ostrana::standin {

// The class of the machine object.
extern const CLSID kMachineClass;

// What GetInterface hands out over an object of the virtual control's session.
IUnknown* MakeDataAccess(dnc::ComPtr<dnc::IUnknown> object, const Options& options);
IUnknown* MakeFileSystem(dnc::ComPtr<dnc::IUnknown> object, const Options& options);

// The class factory of the machine object, over `component` (which must
// outlive it): what the DLL registers, and what a test registers in its own
// process (CoRegisterClassObject) to run the late-bound backend against a
// virtual control it holds.
class Factory final : public IClassFactory {
 public:
  Factory(dnc::IComponent& component, Options options) : component_(component), options_(options) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // owned by its maker, not by references
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  dnc::IComponent& component_;
  Options options_;
};

}  // namespace ostrana::standin
