// The virtual control seen through the DNC component interface: the machine
// object and the connection, data-access, data-entry and file-system objects
// it hands out. Every operation can be made to fail by fault injection.
//
// Each machine object is one DNC session. Objects handed out by a session stop
// working (they fail with "not connected") once that session is disconnected
// or replaced by a new connection request, as on a control; a caller that
// still holds one can never reach a closed connection.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "dnc/Dnc.h"
#include "vc/VirtualControl.h"

namespace ostrana::vc {

class VcComponent final : public dnc::IComponent {
 public:
  explicit VcComponent(VirtualControl& control) : control_(control) {}
  dnc::HRESULT CreateMachine(dnc::IMachine** out) override;

 private:
  VirtualControl& control_;
};

// A parsed cell path: \TABLE\'TNC:\dir\file.TAB'\NR\<row>\<column>
struct DataPath {
  std::string table;
  std::int64_t row = 0;
  std::string column;
};
std::optional<DataPath> ParseDataPath(const std::string& path);

}  // namespace ostrana::vc
