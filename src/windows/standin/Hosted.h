// What the stand-in's servers share, in-process (dnc-standin.dll) and out of
// process (dnc-standin-server.exe): the one virtual control of the process
// they run in, made when the first machine object is asked for
// (OSTRANA_STANDIN_TNC_ROOT names its TNC drive folder;
// OSTRANA_STANDIN_NC_CONSOLE, when set, a loopback port where the NC console
// of that control answers), and the registration of the machine class.
//
// Threads: any.
#pragma once

#include <windows.h>

#include <string>

#include "dnc/Dnc.h"

namespace ostrana::standin {

// The component over the control of this process; never destroyed, as a
// DLL's unload order is not to be relied on.
dnc::IComponent& ProcessComponent();

// The machine class's key: L"CLSID\\{8FA3D2F7-...}".
std::wstring ClassKey();

// Registers `command` as the machine class's server of kind `kind`
// (L"InprocServer32", with `threadingModel`, or L"LocalServer32") in this
// program's registry view, removing the other kind there, and the type
// library, as the component registers its own.
HRESULT RegisterServer(const wchar_t* kind, const std::wstring& command, const wchar_t* threadingModel);
// Removes the machine class from the registry view `view` (KEY_WOW64_32KEY
// or KEY_WOW64_64KEY).
void UnregisterClass(REGSAM view);

}  // namespace ostrana::standin
