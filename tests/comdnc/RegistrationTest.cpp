// What the registry says about the component, in words, for this program.
#include <gtest/gtest.h>

#include "comdnc/Registration.h"

using namespace ostrana::comdnc;

// An out-of-process server serves both bitnesses wherever it is registered:
// only an in-process server of the other bitness alone earns the hint.
TEST(Registration, TheOtherBitnessIsNamedOnlyForItsInProcessServerAlone) {
  const ClassRegistration none, dll{true, "C:\\dnc\\HeidenhainDNC.dll", "", "Apartment"},
      server{true, "", "\"C:\\dnc\\server.exe\" /automation"};
  const struct Case {
    ClassRegistration mine, other;
    bool hint, missing;
  } cases[] = {{none, dll, true, true},
               {none, server, false, false},
               {server, dll, false, false},
               {dll, server, false, false},
               {none, none, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mine.inprocServer + c.mine.localServer + " / " + c.other.inprocServer + c.other.localServer);
    Registrations registrations;
    (ProgramBits() == 64 ? registrations.view64 : registrations.view32) = c.mine;
    (ProgramBits() == 64 ? registrations.view32 : registrations.view64) = c.other;
    EXPECT_EQ(OtherBitnessHint(registrations).empty(), !c.hint);
    EXPECT_EQ(MissingForThisProgram(registrations).empty(), !c.missing);
    EXPECT_EQ(Hosting(registrations).find(c.mine.inprocServer.empty() ? "out-of-process server" : "in-process DLL"),
              c.mine.registered || c.other.localServer.size() ? 3u : std::string::npos);
  }
}
