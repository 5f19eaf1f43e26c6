// The backends the machine-link tests run on: the virtual control's
// component called directly, and, on Windows, the same control reached the
// way the real DNC component is: CoCreateInstance, QueryInterface and
// IDispatch by name (comdnc), with the stand-in's objects registered in
// this process, and served out of process by the stand-in's server program
// OSTRANA_STANDIN_SERVER names (the other bitness's, in CI; without it those
// tests fail). Each machine-link suite is instantiated on every backend.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dnc/Dnc.h"

namespace ostrana::test {

enum class Backend { Direct, LateBound, OutOfProcess };

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

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::Direct ? "Direct" : info.param == Backend::LateBound ? "LateBound" : "OutOfProcess";
}
#ifdef _WIN32
inline std::vector<Backend> EveryBackend() { return {Backend::Direct, Backend::LateBound, Backend::OutOfProcess}; }
#else
inline std::vector<Backend> EveryBackend() { return {Backend::Direct}; }
#endif

}  // namespace ostrana::test

#define OSTRANA_ON_EVERY_BACKEND(Suite)                                                           \
  INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::ValuesIn(::ostrana::test::EveryBackend()), \
                           ::ostrana::test::BackendName)
