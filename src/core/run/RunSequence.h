// The run of the connector between its start and its end, written once for
// every shell: the run is told its listen address and port, its face opens
// (the headless lines, or the window the shell makes) and stays until the
// run is asked to end; then the port and what the window keeps are stored,
// the sockets closed, and (window only, unless muted) the exit sound played.
// The machine is released after this returns, with the shell's run object.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Settings.h"
#include "platform/Sounds.h"
#include "run/CommandLine.h"
#include "run/ConnectorRun.h"

namespace ostrana::run {

// Until the run is asked to end: the shell's event loop (headless), or its
// window shown modally over the run (ending on the close request, Escape,
// a signal or the CAM client gone) with what it keeps returned.
using EventLoop = std::function<void()>;
using ModalWindow = std::function<WindowKept(RunControl& run)>;

int RunHeadless(const Options& options, const platform::SettingsStore& store, platform::Settings settings,
                ConnectorRun& run, const std::string& listenAddress, const EventLoop& loop);
int RunWindow(const Options& options, const platform::SettingsStore& store, platform::Settings settings,
              ConnectorRun& run, const std::string& listenAddress, platform::SoundPlayer& sounds,
              const ModalWindow& window);

}  // namespace ostrana::run
