// The stand-in as an out-of-process server (LocalServer32): a program of its
// own bitness that serves the machine class to programs of either bitness,
// through COM's marshaling of the published dual interfaces by their type
// library (registered in both views by the two DLLs' registration). One
// activation per process (REGCLS_SINGLEUSE): every client gets a server of
// its own, started with the client's environment as Wine starts it, which
// ends when the last of its objects is released.
//   dnc-standin-server.exe /RegServer    serves the machine class, registered
//                                        in its own registry view only, as an
//                                        installer of its bitness registers
//                                        it; no DLL serves it in either view
//   dnc-standin-server.exe /UnregServer  no longer
//   dnc-standin-server.exe [-Embedding]  the machine class over the control
//                                        of its environment (standin/Hosted.h)
//   dnc-standin-server.exe {S} {B}       class S over class B, which a client
//                                        registered in its own process: that
//                                        client's control, one process away
//                                        (the backend of the machine-link tests)
#include <ole2.h>
#include <windows.h>
// After <windows.h>:
#include <shellapi.h>

#include <memory>
#include <string>
#include <utility>

#include "comdnc/ComComponent.h"
#include "standin/Hosted.h"
#include "standin/StandIn.h"

using namespace ostrana;

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  const std::wstring first = count > 1 ? args[1] : L"";
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (first == L"/RegServer" || first == L"/UnregServer") {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) standin::UnregisterClass(view);
    const HRESULT hr = first == L"/UnregServer"
                           ? S_OK
                           : standin::RegisterServer(L"LocalServer32", std::wstring(L"\"") + path + L"\"", nullptr);
    CoUninitialize();
    return FAILED(hr) ? 1 : 0;
  }
  CLSID served = standin::kMachineClass, backing = CLSID_NULL;
  std::unique_ptr<comdnc::ComComponent> relay;
  if (count > 2 && SUCCEEDED(CLSIDFromString(args[1], &served)) && SUCCEEDED(CLSIDFromString(args[2], &backing))) {
    standin::RegisterTypeLibrary();  // the client's backing reaches this server's view too
    relay = std::make_unique<comdnc::ComComponent>(backing);
  }
  standin::Factory factory(relay ? static_cast<dnc::IComponent&>(*relay) : standin::ProcessComponent(),
                           standin::OptionsFromEnvironment());
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(served, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie))) return 1;
  // One machine, whether or not COM keeps to single use; then until all it
  // made is gone. A minute when nobody comes.
  for (int waited = 0; standin::MadeObjects() == 0 ? waited < 60000 : standin::LiveObjects() > 0; waited += 50) {
    if (cookie && standin::MadeObjects() > 0) CoRevokeClassObject(std::exchange(cookie, 0));
    Sleep(50);
  }
  if (cookie) CoRevokeClassObject(cookie);
  CoUninitialize();
  return 0;
}
