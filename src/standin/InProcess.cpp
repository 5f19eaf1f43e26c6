#include "standin/InProcess.h"

namespace ostrana::standin {
namespace {
const comdnc::DispatchNames& BuiltInNames() {
  static const comdnc::DispatchNames names;
  return names;
}
}  // namespace

InProcessComponent::InProcessComponent(dnc::IComponent& direct)
    : factory_(direct),
      component_(BuiltInNames()),
      registration_(CoRegisterClassObject(comdnc::kMachineClass, &factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &cookie_)) {}

InProcessComponent::~InProcessComponent() {
  if (SUCCEEDED(registration_)) CoRevokeClassObject(cookie_);
}

}  // namespace ostrana::standin
