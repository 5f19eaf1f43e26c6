// A connector run on the Qt event loop over a virtual control, as the
// session, abuse and window tests use it; and the free ports they need.
#pragma once

#include <gtest/gtest.h>

#include <QTcpServer>
#include <string>
#include <vector>

#include "qt/QtConnectorRun.h"
#include "support/QtSupport.h"
#include "support/TestSupport.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

namespace ostrana::test {

// The lowest `count` ports of the discoverable range nobody listens on now.
inline std::vector<int> FreeDiscoverablePorts(std::size_t count = 1) {
  std::vector<int> ports;
  for (int p = 50000; p <= 50100 && ports.size() < count; ++p) {
    QTcpServer probe;
    if (probe.listen(QHostAddress::AnyIPv4, static_cast<quint16>(p))) ports.push_back(p);
  }
  return ports;
}

class QtRunFixture : public ::testing::Test {
 protected:
  explicit QtRunFixture(const std::string& modulePath = TemplateFile().string())
      : control(dir.path() / "tnc"), component(control), qtRun(component, prompts, modulePath) {}

  TempDir dir;
  vc::VirtualControl control;
  vc::VcComponent component;
  ScriptedPrompts prompts;
  qt::QtConnectorRun qtRun;
  run::ConnectorRun& connector = qtRun.Run();
};

}  // namespace ostrana::test
