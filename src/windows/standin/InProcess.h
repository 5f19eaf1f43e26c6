// The late-bound backend against a component of this very process: the
// stand-in's factory over `direct` registered for the machine class in this
// process (CoRegisterClassObject), and the connector's ComComponent that
// reaches it through CoCreateInstance, QueryInterface and IDispatch, as it
// reaches the real component.
// For the machine-link tests and the mailbox benchmark on Windows.
//
// Threads: made and destroyed on a thread of the multithreaded apartment.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "comdnc/ComComponent.h"
#include "dnc/Dnc.h"
#include "standin/StandIn.h"

namespace ostrana::standin {

class InProcessComponent final : public dnc::IComponent {
 public:
  // `direct` must outlive this.
  explicit InProcessComponent(dnc::IComponent& direct, Options options = {});
  ~InProcessComponent() override;
  // The registration's result: S_OK, or why machines would come from elsewhere.
  HRESULT Registration() const { return registration_; }
  dnc::HRESULT CreateMachine(dnc::IMachine** machine) override { return component_.CreateMachine(machine); }

 private:
  Factory factory_;
  comdnc::ComComponent component_;
  DWORD cookie_ = 0;
  HRESULT registration_;
};

}  // namespace ostrana::standin
