#include "backend/MachineBackend.h"

#include <string>
#include <utility>

#include "common/Console.h"
#include "common/EventLog.h"
#include "common/FileLock.h"
#include "common/Folders.h"
#include "common/PathText.h"
#include "common/StringTable.h"
#include "ncsim/NcConsole.h"
#include "ncsim/NcProgram.h"
#include "run/CommandLine.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

namespace ostrana::backend {

namespace {

// What the virtual control's component runs over, held for the run; its
// members go in reverse order: the NC side first, the drive lock last.
struct VirtualMachine {
  FileLock driveLock;
  std::unique_ptr<vc::VirtualControl> control;
  std::unique_ptr<ncsim::NcProgram> ncProgram;
  std::unique_ptr<ncsim::NcConsole> ncConsole;
};

// The message for a drive another connector holds, from its lock's text:
// its process id, then "port N" once it listens.
std::string DriveHeld(const std::string& root, const std::string& holder) {
  const auto end = holder.find('\n');
  const std::string pid = holder.substr(0, end), note = end == std::string::npos ? "" : holder.substr(end + 1);
  const bool port =
      note.rfind("port ", 0) == 0 && note.size() > 5 && note.find_first_not_of("0123456789", 5) == std::string::npos;
  return strings::DriveInUse(root, pid, port ? note.substr(5) : "");
}

bool SetUpVirtualControl(const run::Options& options, Prompts& prompts, run::Machine& m) {
  const std::string root = options.tncRoot.empty() ? run::DefaultTncRoot() : options.tncRoot;
  auto parts = std::make_shared<VirtualMachine>();
  parts->control = std::make_unique<vc::VirtualControl>(PathOf(root));  // makes the folder when missing
  // One connector a drive: two would interleave their table writes. A lock
  // that cannot be had stops the run as a held one does: going on without it
  // would leave the tables open to a second run.
  const std::string lockFile = TextOf(parts->control->LockFile());
  std::string holder, why;
  if (!parts->driveLock.Take(lockFile, &holder, &why)) {
    prompts.ShowMessage(why.empty() ? DriveHeld(root, holder) : strings::DriveNotLocked(root, lockFile, why),
                        PromptIcon::Exclamation);
    if (why.empty()) m.refusedStatus = run::kExitDriveInUse;  // a service manager does not restart on it
    return false;
  }
  if (!UsableFolder(root, &why)) prompts.ShowMessage(strings::DriveUnusable(root, why), PromptIcon::Exclamation);
  for (const auto& file : parts->control->RemoveStaleTemporaries())
    Log(LogLevel::Info, "drive", "removed " + TextOf(file) + ", left by a run that ended in the middle of a write");
  m.line = "the virtual control";
  m.keep = parts;
  m.component = std::make_unique<vc::VcComponent>(*parts->control);
  FileLock* const driveLock = &parts->driveLock;
  m.listening = [driveLock](int port) { driveLock->Note("port " + std::to_string(port)); };
  console::Out("ostrana: machine: virtual control, TNC drive at " + root);
  if (!options.ncConsolePort) return true;
  parts->ncProgram = std::make_unique<ncsim::NcProgram>(*parts->control);
  parts->ncConsole = std::make_unique<ncsim::NcConsole>(*parts->ncProgram, *parts->control);
  const int port = parts->ncConsole->Start(static_cast<std::uint16_t>(*options.ncConsolePort), &why);
  if (port < 0) {
    console::Err("ostrana: the NC console cannot listen on port " + std::to_string(*options.ncConsolePort) + ": " +
                 why);
    return false;
  }
  console::Out("ostrana: nc console on port " + std::to_string(port));
  ncsim::NcConsole* const ncConsole = parts->ncConsole.get();
  m.stop = [ncConsole] { ncConsole->Stop(); };
  return true;
}

}  // namespace

run::MachineSetUp SetUpMachine(DncFactory dnc) {
  return [dnc = std::move(dnc)](const run::Options& options, Prompts& prompts, run::Machine& m) {
    if (options.control == run::ControlKind::None || (options.control == run::ControlKind::Dnc && !dnc)) {
      m.component = std::make_unique<dnc::MissingComponent>();
      m.line = "none: started with --control none, no DNC component";
      m.absent = run::MachineAbsent::ByChoice;
      console::Out("ostrana: machine: none (no DNC component)");
      return true;
    }
    if (options.control == run::ControlKind::Dnc) {
      m.component = dnc();
      console::Out("ostrana: machine: the DNC component");
      return true;
    }
    return SetUpVirtualControl(options, prompts, m);
  };
}

}  // namespace ostrana::backend
