#include "standin/Hosted.h"

#include <ole2.h>
#include <olectl.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

#include "ncsim/NcConsole.h"
#include "ncsim/NcProgram.h"
#include "standin/StandIn.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

namespace ostrana::standin {
namespace {

struct Control {
  std::unique_ptr<vc::VirtualControl> control;
  std::unique_ptr<vc::VcComponent> component;
  std::unique_ptr<ncsim::NcProgram> program;
  std::unique_ptr<ncsim::NcConsole> console;
};

LONG SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

dnc::IComponent& ProcessComponent() {
  static std::mutex lock;
  static Control* made = nullptr;
  std::lock_guard guard(lock);
  if (!made) {
    made = new Control;
    const wchar_t* root = _wgetenv(L"OSTRANA_STANDIN_TNC_ROOT");
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    made->control = std::make_unique<vc::VirtualControl>(root && *root ? std::filesystem::path(root)
                                                                       : std::filesystem::path(local ? local : L".") /
                                                                             L"Ostrana" / L"standin-tnc");
    made->component = std::make_unique<vc::VcComponent>(*made->control);
    if (const char* port = std::getenv("OSTRANA_STANDIN_NC_CONSOLE"); port && *port) {
      made->program = std::make_unique<ncsim::NcProgram>(*made->control);
      made->console = std::make_unique<ncsim::NcConsole>(*made->program, *made->control);
      std::string why;
      made->console->Start(static_cast<std::uint16_t>(std::atoi(port)), &why);
    }
  }
  return *made->component;
}

std::wstring ClassKey() {
  wchar_t text[64];
  StringFromGUID2(kMachineClass, text, 64);
  return std::wstring(L"CLSID\\") + text;
}

HRESULT RegisterServer(const wchar_t* kind, const std::wstring& command, const wchar_t* threadingModel) {
  const bool inProcess = std::wstring(kind) == L"InprocServer32";
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, (ClassKey() + L"\\" + kind).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  SetText(key, nullptr, command);
  if (threadingModel) SetText(key, L"ThreadingModel", threadingModel);
  RegCloseKey(key);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (ClassKey() + (inProcess ? L"\\LocalServer32" : L"\\InprocServer32")).c_str());
  return FAILED(RegisterTypeLibrary()) ? SELFREG_E_TYPELIB : S_OK;
}

void UnregisterClass(REGSAM view) {
  HKEY classes = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_ALL_ACCESS | view, &classes) != ERROR_SUCCESS) return;
  RegDeleteTreeW(classes, ClassKey().substr(6).c_str());
  RegCloseKey(classes);
}

}  // namespace ostrana::standin
