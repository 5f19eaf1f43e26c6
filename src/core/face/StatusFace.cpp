#include "face/StatusFace.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "common/StringTable.h"
#include "platform/Sounds.h"

namespace ostrana::face {

ConnectionLook LookOfConnection(const run::RunControl& run, const std::string& machineLine,
                                run::MachineAbsent absent, std::optional<bool> machineOnline) {
  const auto state = session::SelectConnectionState(run.ClientConnected(), machineOnline.value_or(run.MachineOnline()));
  ConnectionLook look{kIconNeither, platform::kSoundNeither, session::ConnectionStatusText(state), {}};
  switch (state) {
    case session::ConnectionState::Both:
      look.icon = kIconBoth;
      look.sound = platform::kSoundBoth;
      break;
    case session::ConnectionState::MachineOnly:
      look.icon = kIconMachineOnly;
      look.sound = platform::kSoundMachineOnly;
      break;
    case session::ConnectionState::ClientOnly:
      look.icon = kIconClientOnly;
      look.sound = platform::kSoundClientOnly;
      break;
    default: break;
  }
  if (!machineLine.empty()) look.text += "\nMachine: " + machineLine;
  switch (absent) {
    case run::MachineAbsent::NotInstalled:
      // The Start-menu entry the installer makes; the probe says what to install.
      look.notice = "DNC component not installed: run 'Ostrana Connector DNC probe' from the Start menu";
      break;
    case run::MachineAbsent::ByChoice:
      look.notice = "No machine: started with --control none (no DNC component)";
      break;
    case run::MachineAbsent::No: break;
  }
  return look;
}

PortLook LookOfPort(const run::RunControl& run) {
  PortLook look;
  look.listening = run.Listening();
  look.icon = look.listening ? kIconListening : kIconNotListening;
  // The port bound (port 0 asks for any free one); the port number itself stays as the user set it.
  look.shownPort = look.listening ? run.BoundPort() : run.PortNumber();
  look.tipText = std::string(look.listening ? strings::kPortTipValid : strings::kPortTipInvalid) + "\nPort " +
                 std::to_string(look.shownPort) + " on " + run.ListenAddressText();
  return look;
}

Rgb PortBackground(bool listening) { return listening ? Rgb{0, 128, 0} : Rgb{192, 0, 0}; }

void PlaceAtOpen(KeptState& kept) {
  // A stored place far beyond any screen (a hand-edited INT_MAX) is brought
  // near before any arithmetic on it can overflow; the screens decide the rest.
  kept.xTopLeft = std::clamp(kept.xTopLeft, -kPlaceLimit, kPlaceLimit);
  kept.yTopLeft = std::clamp(kept.yTopLeft, -kPlaceLimit, kPlaceLimit);
  if (kept.xTopLeft == 0 && kept.yTopLeft == 0) {
    kept.xTopLeft = kDefaultX;
    kept.yTopLeft = kDefaultY;
  }
}

void RecordAtClose(KeptState& kept, int x, int y) {
  kept.xTopLeft = x;
  kept.yTopLeft = y;
  if (x < 0 || y < 0) {
    kept.xTopLeft = kDefaultX;
    kept.yTopLeft = kDefaultY;
  }
}

Point PlaceOnScreen(Point place, int width, int height, const std::vector<Rect>& screens) {
  if (screens.empty()) return place;
  // Wholly on the screens (one, or side by side ones): kept.
  long long shown = 0;
  for (const Rect& s : screens) {
    const long long w = std::min(place.x + width, s.left + s.width) - std::max(place.x, s.left);
    const long long h = std::min(place.y + height, s.top + s.height) - std::max(place.y, s.top);
    if (w > 0 && h > 0) shown += w * h;
  }
  if (shown >= static_cast<long long>(width) * height) return place;
  // The screen nearest to the window's centre (0 when the centre lies on it).
  const int cx = place.x + (width - 1) / 2, cy = place.y + (height - 1) / 2;
  auto distance = [&](const Rect& s) {
    const long long dx = std::max({s.left - cx, 0, cx - (s.left + s.width - 1)});
    const long long dy = std::max({s.top - cy, 0, cy - (s.top + s.height - 1)});
    return dx * dx + dy * dy;
  };
  const Rect& s = *std::min_element(screens.begin(), screens.end(),
                                    [&](const Rect& a, const Rect& b) { return distance(a) < distance(b); });
  return {std::max(s.left, std::min(place.x, s.left + s.width - width)),
          std::max(s.top, std::min(place.y, s.top + s.height - height))};
}

PortEditor::Step PortEditor::Press(run::RunControl& run, Prompts& prompts, KeptState& kept) {
  const std::int32_t port = run.PortNumber();
  if (editing_ && (port < 0 || port > 65535)) {
    char text[64];
    std::snprintf(text, sizeof text, strings::kEnterPortRange, 0, 65535);
    prompts.ShowMessage(text, PromptIcon::None);
    return Step::Refused;
  }
  editing_ = !editing_;
  if (editing_) return Step::Editing;  // the listener keeps the old port while the user types
  kept.portSetByUser = true;
  run.MoveListener();  // rebuilt on every Set Port, with recovery; shows the port status
  return Step::Set;
}

bool PortEditor::TakeText(const std::string& text, run::RunControl& run) {
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  run.SetPortNumber(value);
  return true;
}

}  // namespace ostrana::face
