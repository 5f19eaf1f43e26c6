// The stand-in as an in-process COM server: its class factory over the
// control of the process it is loaded in (standin/Hosted.h), the variant
// OSTRANA_STANDIN_VARIANT asks for (standin/Dual.h), and its registration
// (regsvr32: the class and its type library), with the threading model
// OSTRANA_STANDIN_THREADING names at registration (Both when not set;
// Apartment: COM then calls every object on the thread that made it).
#include <ole2.h>
#include <olectl.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "standin/Hosted.h"
#include "standin/StandIn.h"

namespace {

using namespace ostrana;

HMODULE module = nullptr;

standin::Factory& TheFactory() {
  static standin::Factory factory(standin::ProcessComponent(), standin::OptionsFromEnvironment());
  return factory;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) module = instance;
  return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, standin::kMachineClass)) return CLASS_E_CLASSNOTAVAILABLE;
  return TheFactory().QueryInterface(iid, out);
}

HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(module, path, MAX_PATH);
  const char* model = std::getenv("OSTRANA_STANDIN_THREADING");
  return standin::RegisterServer(L"InprocServer32", path,
                                 model && std::string(model) == "Apartment" ? L"Apartment" : L"Both");
}

HRESULT WINAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, standin::ClassKey().c_str());
  const GUID library = {0x14B95319, 0xAEF9, 0x492A, {0xA8, 0x78, 0xCA, 0x18, 0xFE, 0xB1, 0xF5, 0xBF}};
  UnRegisterTypeLib(library, 1, 7, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  return S_OK;
}

}  // extern "C"
