// What the registry says about the component, in words, for this program.
#include <gtest/gtest.h>

#include "comdnc/Registration.h"

using namespace ostrana::comdnc;

// An out-of-process server serves both bitnesses wherever it is registered:
// only an in-process server of the other bitness alone earns the hint.
TEST(Registration, TheOtherBitnessIsNamedOnlyForItsInProcessServerAlone) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);  // a server of this program's bitness
  const ClassRegistration none, dll{true, "C:\\dnc\\HeidenhainDNC.dll", "", "Apartment"},
      server{true, "", "\"" + std::string(self) + "\" /automation"};
  const std::string bits = std::to_string(ProgramBits());
  const struct {
    ClassRegistration mine, other;
    bool hint, missing;
    std::string hosting;
  } cases[] = {
      {none, dll, true, true, ""},
      {none, server, false, false, "an out-of-process server, a " + bits + "-bit program: " + server.localServer},
      {server, dll, false, false, "an out-of-process server"},
      {dll, server, false, false, "an in-process DLL, " + bits + "-bit, threading model Apartment"},
      {none, none, false, true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mine.inprocServer + c.mine.localServer + " / " + c.other.inprocServer + c.other.localServer);
    Registrations registrations;
    (ProgramBits() == 64 ? registrations.view64 : registrations.view32) = c.mine;
    (ProgramBits() == 64 ? registrations.view32 : registrations.view64) = c.other;
    EXPECT_EQ(OtherBitnessHint(registrations).empty(), !c.hint);
    EXPECT_EQ(MissingForThisProgram(registrations).empty(), !c.missing);
    EXPECT_TRUE(Hosting(registrations).starts_with(c.hosting)) << Hosting(registrations);
  }
}
