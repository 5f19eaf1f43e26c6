// The backends the machine-link tests run on: the virtual control's
// component called directly, and, on Windows, the same control reached the
// way the real DNC component is: CoCreateInstance, QueryInterface and
// IDispatch by name (comdnc), with the stand-in's objects registered in
// this process. Each machine-link suite is instantiated on every backend.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "dnc/Dnc.h"

namespace ostrana::test {

enum class Backend { Direct, LateBound };

class BackendComponent final : public dnc::IComponent {
 public:
  // `direct` must outlive this.
  BackendComponent(Backend backend, dnc::IComponent& direct);
  ~BackendComponent() override;
  dnc::HRESULT CreateMachine(dnc::IMachine** machine) override;

 private:
  struct LateBound;
  dnc::IComponent& direct_;
  std::unique_ptr<LateBound> lateBound_;
};

inline void PrintTo(Backend backend, std::ostream* out) {
  *out << (backend == Backend::Direct ? "Direct" : "LateBound");
}

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::Direct ? "Direct" : "LateBound";
}

}  // namespace ostrana::test

#ifdef _WIN32
#define OSTRANA_ON_EVERY_BACKEND(Suite)                                                                              \
  INSTANTIATE_TEST_SUITE_P(Backends, Suite,                                                                          \
                           ::testing::Values(::ostrana::test::Backend::Direct, ::ostrana::test::Backend::LateBound), \
                           ::ostrana::test::BackendName)
#else
#define OSTRANA_ON_EVERY_BACKEND(Suite)                                                          \
  INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::Values(::ostrana::test::Backend::Direct), \
                           ::ostrana::test::BackendName)
#endif
