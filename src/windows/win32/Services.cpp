#include "win32/Services.h"

#include <mmsystem.h>

#include <cstring>

#include "common/StringTable.h"
#include "common/WideText.h"

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

int BoxPrompts::Show(const std::string& text, UINT style) {
  HWND owner = owner_ ? owner_() : nullptr;
  // An owner passes on its topmost place and is disabled by the box's modal
  // loop; an unowned box asks for its place itself (system-modal is the
  // topmost style that Wine's boxes honour too). Wide: a path in the text
  // shows as itself.
  if (!owner) style |= MB_TOPMOST | MB_SYSTEMMODAL;
  return MessageBoxW(owner, Wide(text).c_str(), Wide(strings::kAppName).c_str(), style | MB_SETFOREGROUND);
}

void BoxPrompts::ShowMessage(const std::string& text, PromptIcon icon) {
  Show(text, MB_OK | (icon == PromptIcon::Exclamation ? MB_ICONEXCLAMATION : 0));
}

bool BoxPrompts::AskYesNo(const std::string& text) { return Show(text, MB_YESNO) == IDYES; }

}  // namespace ostrana::win32
