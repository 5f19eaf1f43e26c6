#include "support/Backends.h"

#ifdef _WIN32
#include "comdnc/DispatchObject.h"
#include "standin/InProcess.h"
#endif

namespace ostrana::test {

#ifdef _WIN32
struct BackendComponent::LateBound {
  explicit LateBound(dnc::IComponent& direct) : component(direct) {
    if (FAILED(component.Registration()))
      ADD_FAILURE() << "the stand-in cannot be registered in this process: "
                    << comdnc::DescribeStatus(component.Registration());
  }
  standin::InProcessComponent component;
};
#else
struct BackendComponent::LateBound {};
#endif

BackendComponent::BackendComponent(Backend backend, dnc::IComponent& direct) : direct_(direct) {
#ifdef _WIN32
  if (backend == Backend::LateBound) lateBound_ = std::make_unique<LateBound>(direct);
#else
  (void)backend;
#endif
}

BackendComponent::~BackendComponent() = default;

dnc::HRESULT BackendComponent::CreateMachine(dnc::IMachine** machine) {
#ifdef _WIN32
  if (lateBound_) return lateBound_->component.CreateMachine(machine);
#endif
  return direct_.CreateMachine(machine);
}

}  // namespace ostrana::test
