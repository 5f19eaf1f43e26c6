#include "support/Backends.h"

#include <cstdlib>

#ifdef _WIN32
#include "comdnc/DispatchObject.h"
#include "standin/OutOfProcess.h"
#endif

namespace ostrana::test {

#ifdef _WIN32
struct BackendComponent::LateBound {
  LateBound(Backend backend, dnc::IComponent& direct) {
    const char* named = backend == Backend::OutOfProcess ? std::getenv("OSTRANA_STANDIN_SERVER") : "";
    HRESULT hr = E_INVALIDARG;  // no server named
    if (named && (*named || backend == Backend::LateBound)) component = standin::LateBound(direct, named, &hr);
    if (FAILED(hr)) ADD_FAILURE() << "the stand-in cannot be registered: " << comdnc::DescribeStatus(hr);
  }
  std::unique_ptr<dnc::IComponent> component;
};
#else
struct BackendComponent::LateBound {};
#endif

BackendComponent::BackendComponent(Backend backend, dnc::IComponent& direct) : direct_(direct) {
#ifdef _WIN32
  if (backend != Backend::Direct) lateBound_ = std::make_unique<LateBound>(backend, direct);
#else
  (void)backend;
#endif
}

BackendComponent::~BackendComponent() = default;

dnc::HRESULT BackendComponent::CreateMachine(dnc::IMachine** machine) {
#ifdef _WIN32
  if (lateBound_) return lateBound_->component ? lateBound_->component->CreateMachine(machine) : dnc::kFail;
#endif
  return direct_.CreateMachine(machine);
}

}  // namespace ostrana::test
