// The stand-in as an in-process COM server: its class factory, its
// registration (regsvr32: the class and its type library), the variant
// OSTRANA_STANDIN_VARIANT asks for (standin/Dual.h), and the virtual
// control it stands on, made when
// the first machine object is asked for. OSTRANA_STANDIN_TNC_ROOT names the
// control's TNC drive folder; OSTRANA_STANDIN_NC_CONSOLE, when set, a
// loopback port where the NC console of that control answers.
#include <ole2.h>
#include <olectl.h>
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "ncsim/NcConsole.h"
#include "ncsim/NcProgram.h"
#include "standin/StandIn.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

namespace {

using namespace ostrana;

HMODULE module = nullptr;

struct Control {
  std::unique_ptr<vc::VirtualControl> control;
  std::unique_ptr<vc::VcComponent> component;
  std::unique_ptr<ncsim::NcProgram> program;
  std::unique_ptr<ncsim::NcConsole> console;
};

// The one control of this process; never destroyed, as a DLL's unload
// order is not to be relied on.
vc::VcComponent* Component() {
  static std::mutex lock;
  static Control* made = nullptr;
  std::lock_guard guard(lock);
  if (!made) {
    made = new Control;
    const char* root = std::getenv("OSTRANA_STANDIN_TNC_ROOT");
    const char* local = std::getenv("LOCALAPPDATA");
    made->control = std::make_unique<vc::VirtualControl>(
        root && *root ? std::string(root) : std::string(local ? local : ".") + "\\Ostrana\\standin-tnc");
    made->component = std::make_unique<vc::VcComponent>(*made->control);
    if (const char* port = std::getenv("OSTRANA_STANDIN_NC_CONSOLE"); port && *port) {
      made->program = std::make_unique<ncsim::NcProgram>(*made->control);
      made->console = std::make_unique<ncsim::NcConsole>(*made->program, *made->control);
      std::string why;
      made->console->Start(static_cast<std::uint16_t>(std::atoi(port)), &why);
    }
  }
  return made->component.get();
}

standin::Factory& TheFactory() {
  static standin::Factory factory(*Component(), standin::OptionsFromEnvironment());
  return factory;
}

std::wstring ClassKey() {
  wchar_t text[64];
  StringFromGUID2(standin::kMachineClass, text, 64);
  return std::wstring(L"CLSID\\") + text;
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
  const std::wstring server = ClassKey() + L"\\InprocServer32";
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                 static_cast<DWORD>((wcslen(path) + 1) * sizeof(wchar_t)));
  const wchar_t model[] = L"Both";
  RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof model);
  RegCloseKey(key);
  // The type library beside the DLL, registered as the component registers its own.
  std::wstring library = path;
  library = library.substr(0, library.find_last_of(L"\\/") + 1) + L"dnc-standin.tlb";
  ITypeLib* types = nullptr;
  if (FAILED(LoadTypeLibEx(library.c_str(), REGKIND_REGISTER, &types))) return SELFREG_E_TYPELIB;
  types->Release();
  return S_OK;
}

HRESULT WINAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
  const GUID library = {0x14B95319, 0xAEF9, 0x492A, {0xA8, 0x78, 0xCA, 0x18, 0xFE, 0xB1, 0xF5, 0xBF}};
  UnRegisterTypeLib(library, 1, 7, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  return S_OK;
}

}  // extern "C"
