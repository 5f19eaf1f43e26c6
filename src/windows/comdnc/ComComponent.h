// The DNC interface over HEIDENHAIN's DNC COM component, called late-bound
// through IDispatch: CoCreateInstance of the machine object, QueryInterface
// for the component's interfaces by their IIDs, and each operation by its
// published member (comdnc/Published.h). Before the first call on an object,
// every member the connector will call on it is checked against the object's
// type information (comdnc/MemberCheck.h): an object that does not have them
// as published is refused (kMemberNotFound, the findings in words) and
// nothing is called on it. It keeps the interface's rules (dnc/Dnc.h)
// whatever the component does: once the session is disconnected, every
// object handed out for it answers kNotConnected without reaching the
// component.
//
// Threads: as dnc/Dnc.h says; every thread that calls it has entered the
// multithreaded apartment (CoInitializeEx).
#pragma once

#include <windows.h>

#include "comdnc/Published.h"
#include "dnc/Dnc.h"

namespace ostrana::comdnc {

class ComComponent final : public dnc::IComponent {
 public:
  explicit ComComponent(const CLSID& machineClass = kMachineClass) : class_(machineClass) {}
  dnc::HRESULT CreateMachine(dnc::IMachine** machine) override;

 private:
  CLSID class_;
};

}  // namespace ostrana::comdnc
