#include "run/RunSequence.h"

#include "run/Headless.h"
#include "run/Startup.h"

namespace ostrana::run {

namespace {
void Begin(const Options& options, const platform::Settings& settings, ConnectorRun& run,
           const std::string& listenAddress) {
  run.SetListenAddress(listenAddress);
  run.SetPortNumber(options.port.value_or(settings.portNumber));
}
}  // namespace

int RunHeadless(const Options& options, const platform::SettingsStore& store, platform::Settings settings,
                ConnectorRun& run, const std::string& listenAddress, const EventLoop& loop) {
  Begin(options, settings, run, listenAddress);
  HeadlessView view(run);
  run.SetView(&view);
  run.OpenListener();
  view.UpdatePortStatus();
  view.UpdateConnectionStatus(false);
  loop();
  KeepPort(options, run, false, settings);
  SaveSettings(store, settings, true);
  run.CloseSockets();
  run.SetView(nullptr);
  return 0;
}

int RunWindow(const Options& options, const platform::SettingsStore& store, platform::Settings settings,
              ConnectorRun& run, const std::string& listenAddress, platform::SoundPlayer& sounds,
              const ModalWindow& window) {
  Begin(options, settings, run, listenAddress);
  const WindowKept kept = window(run);
  run.SetView(nullptr);
  settings.xTopLeft = kept.xTopLeft;
  settings.yTopLeft = kept.yTopLeft;
  settings.muted = kept.muted;
  KeepPort(options, run, kept.portSetByUser, settings);
  SaveSettings(store, settings, false);
  run.CloseSockets();
  if (!settings.muted) sounds.PlayAndWait(platform::kSoundExit);
  return 0;
}

}  // namespace ostrana::run
