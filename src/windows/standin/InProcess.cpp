#include "standin/InProcess.h"

namespace ostrana::standin {

InProcessComponent::InProcessComponent(dnc::IComponent& direct, Options options)
    : factory_(direct, options),
      registration_(
          CoRegisterClassObject(kMachineClass, &factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_)) {}

InProcessComponent::~InProcessComponent() {
  if (SUCCEEDED(registration_)) CoRevokeClassObject(cookie_);
}

}  // namespace ostrana::standin
