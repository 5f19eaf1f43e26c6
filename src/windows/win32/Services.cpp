#include "win32/Services.h"

#include <mmsystem.h>

#include <cstring>

#include "common/StringTable.h"

namespace ostrana::win32 {

void ResourceSounds::Play(int id) {
  PlaySoundA(MAKEINTRESOURCEA(id), GetModuleHandleA(nullptr), SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

void ResourceSounds::PlayAndWait(int id) {
  PlaySoundA(MAKEINTRESOURCEA(id), GetModuleHandleA(nullptr), SND_RESOURCE | SND_SYNC | SND_NODEFAULT);
}

namespace {
BOOL CALLBACK FindKelvra(HWND window, LPARAM found) {
  if (GetParent(window) || GetWindow(window, GW_OWNER)) return TRUE;
  char title[260] = "";
  if (GetWindowTextA(window, title, sizeof title) <= 0) return TRUE;
  if (!std::strstr(title, "Quorvane Kelvra")) return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;  // the first match ends the walk
}
}  // namespace

bool KelvraWatch::IsKelvraRunning() {
  bool found = false;
  EnumWindows(FindKelvra, reinterpret_cast<LPARAM>(&found));
  return found;
}

void BoxPrompts::ShowMessage(const std::string& text, PromptIcon icon) {
  const UINT style = icon == PromptIcon::Exclamation ? MB_ICONEXCLAMATION : 0;
  MessageBoxA(GetActiveWindow(), text.c_str(), strings::kAppName, MB_OK | style);
}

bool BoxPrompts::AskYesNo(const std::string& text) {
  return MessageBoxA(GetActiveWindow(), text.c_str(), strings::kAppName, MB_YESNO) == IDYES;
}

}  // namespace ostrana::win32
