// The late-bound backend against a component of this very process, served
// by the stand-in's server program in a process of its own
// (dnc-standin-server.exe, of either bitness): the connector's ComComponent
// reaches the server's objects through COM's marshaling, and the server
// reaches `direct` back through it, as a class this process registers. For
// the machine-link tests and the mailbox benchmark: every call crosses
// between processes as with an out-of-process component, while the control
// stays in the caller's hand.
//
// Threads: made and destroyed on a thread of the multithreaded apartment.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <memory>
#include <string>

#include "comdnc/ComComponent.h"
#include "dnc/Dnc.h"
#include "standin/StandIn.h"

namespace ostrana::standin {

// Waits (up to a minute) until the RPC service runs: out-of-process
// activation in a Wine prefix that has just started hangs until it does.
bool WaitForRpcService();

class OutOfProcessComponent final : public dnc::IComponent {
 public:
  // `server`: the server program; `direct` must outlive this.
  OutOfProcessComponent(dnc::IComponent& direct, const std::wstring& server);
  ~OutOfProcessComponent() override;
  // S_OK, or why no machine will come.
  HRESULT Registration() const { return registration_; }
  const CLSID& ServedClass() const { return served_; }
  dnc::HRESULT CreateMachine(dnc::IMachine** machine) override { return component_->CreateMachine(machine); }

 private:
  Factory factory_;
  CLSID served_ = CLSID_NULL;   // what the server serves, registered for this process's run only
  CLSID backing_ = CLSID_NULL;  // what this process serves it
  DWORD cookie_ = 0;
  HRESULT registration_ = E_FAIL;
  std::unique_ptr<comdnc::ComComponent> component_;
};

// The stand-in over `direct` reached late-bound: registered in this process
// (InProcessComponent) or, when `server` names the server program, served
// out of process; `registration` says whether its classes could be
// registered (S_OK), or why machines would not come.
std::unique_ptr<dnc::IComponent> LateBound(dnc::IComponent& direct, const std::string& server, HRESULT* registration);

}  // namespace ostrana::standin
