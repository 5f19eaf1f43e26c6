// What the status window shows and how it behaves, written once for every
// toolkit: the look of the connection status and of the port, the port
// colours, the port row's editing, the place the window opens at and the
// place it records when closed. The Qt window (src/linux/ui) and the Win32 window
// render it; nothing here draws.
//
// Threads: the main thread (the window's).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Prompts.h"
#include "run/RunControl.h"
#include "run/Startup.h"

namespace ostrana::face {

// Icon resources.
inline constexpr int kIconWindow = 128;
inline constexpr int kIconListening = 129;
inline constexpr int kIconNotListening = 130;
inline constexpr int kIconInfo = 131;
inline constexpr int kIconNeither = 132;
inline constexpr int kIconBoth = 133;
inline constexpr int kIconMachineOnly = 134;
inline constexpr int kIconClientOnly = 135;
// The place the window opens at when none is stored.
inline constexpr int kDefaultX = 1250;
inline constexpr int kDefaultY = 60;
// The CAM client's watch: a timer of this id and period.
inline constexpr int kWatchTimer = 1025;
inline constexpr int kWatchPeriodMs = 1000;

struct ConnectionLook {
  int icon;          // kIconNeither to kIconClientOnly
  int sound;         // 143 to 146, played when the refresh asks for a sound
  std::string text;  // the status tooltip's text (1036 to 1039, and which machine)
  // A line the window shows beside the status, in red, while the run has no
  // DNC component: what is missing and the next step; empty otherwise (the
  // grey plug alone cannot tell "not installed" from "not connected").
  std::string notice;
};
// `machineLine`, when not empty, is the tooltip's "Machine:" line (the
// virtual control; a DNC component that is not there, in detail).
// `machineOnline`: the machine's state a posted change carries, else the run's own.
ConnectionLook LookOfConnection(const run::RunControl& run, const std::string& machineLine,
                                run::MachineAbsent absent = run::MachineAbsent::No,
                                std::optional<bool> machineOnline = std::nullopt);


struct PortLook {
  bool listening;
  int icon;             // 129 or 130
  int shownPort;        // the port bound, or the port number while not listening
  std::string tipText;  // 1031 or 1032, then the port and the address
};
PortLook LookOfPort(const run::RunControl& run);

struct Rgb {
  int red, green, blue;
};
// The port field outside editing: white text on green while listening, on
// red while not, both legible (contrast above 4.5:1 against white).
Rgb PortBackground(bool listening);
inline constexpr Rgb kPortText{255, 255, 255};
// The notice's text colour: legible on the window's light grey.
inline constexpr Rgb kNoticeText{176, 0, 0};

// What the window keeps for the exit (run/RunSequence stores it).
using KeptState = run::WindowKept;
// The farthest a stored coordinate is taken to lie.
inline constexpr std::int32_t kPlaceLimit = 1000000;
// The place at open: the stored one (within kPlaceLimit), or the default
// when both are 0.
void PlaceAtOpen(KeptState& kept);
// The place at close: the window's, or the default when either is negative.
void RecordAtClose(KeptState& kept, int x, int y);

struct Point {
  int x, y;
  bool operator==(const Point&) const = default;
};
struct Rect {
  int left, top, width, height;
};
// Where a window of `width` x `height` that wants to be at `place` goes: the
// place itself when the window lies wholly on the `screens` (which do not
// overlap); otherwise moved just far enough to lie wholly on the screen
// nearest to it.
Point PlaceOnScreen(Point place, int width, int height, const std::vector<Rect>& screens);

// The port row: "Edit Port" opens the port field, "Set Port" takes the
// number typed (refused with 1027 outside 0 to 65535) and moves the listener.
class PortEditor {
 public:
  enum class Step { Editing, Refused, Set };
  bool Editing() const { return editing_; }
  const char* ButtonText() const { return editing_ ? "Set Port" : "Edit Port"; }
  // The button pressed. Set moves the listener (with recovery) and marks the port as the user's.
  Step Press(run::RunControl& run, Prompts& prompts, KeptState& kept);
  // The field's text changed: an integer becomes the port number; false when it is none (yet).
  static bool TakeText(const std::string& text, run::RunControl& run);

 private:
  bool editing_ = false;
};

}  // namespace ostrana::face
