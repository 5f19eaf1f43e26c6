// The DNC interface over HEIDENHAIN's DNC COM component, called late-bound
// through IDispatch: CoCreateInstance of the machine object, QueryInterface
// for the interfaces of the component, each operation by name (DispatchNames).
// It keeps the interface's rules (dnc/Dnc.h) whatever the component does:
// once the session is disconnected, every object handed out for it answers
// kNotConnected without reaching the component.
//
// Threads: as dnc/Dnc.h says; every thread that calls it has entered the
// multithreaded apartment (CoInitializeEx).
#pragma once

#include <windows.h>

#include <memory>

#include "comdnc/DispatchNames.h"
#include "dnc/Dnc.h"

namespace ostrana::comdnc {

// The identifiers of the component.
extern const CLSID kMachineClass;
extern const IID kMachineInterface;
extern const IID kConnectionInterface;
extern const IID kDataAccessInterface;
extern const IID kFileSystemInterface;
inline constexpr DWORD kCreateContext = 23;  // CLSCTX_ALL

class ComComponent final : public dnc::IComponent {
 public:
  // `names` must outlive the component and what it makes.
  explicit ComComponent(const DispatchNames& names, const CLSID& machineClass = kMachineClass)
      : names_(names), class_(machineClass) {}
  dnc::HRESULT CreateMachine(dnc::IMachine** machine) override;

 private:
  const DispatchNames& names_;
  CLSID class_;
};

// The names of this build, corrected by dnc-names.txt beside the executable;
// what could not be read is said on stderr.
const DispatchNames& LoadNames();

}  // namespace ostrana::comdnc
