// DispatchRequest on arbitrary chunks, with every machine operation served by
// a connected virtual control (the mailbox block set up, the worker on a fast
// clock). Every reply must be made of well-formed answer lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "protocol/Dispatcher.h"
#include "run/MachineOperations.h"
#include "protocol/Answers.h"
#include "ncsim/NcProgram.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

namespace {

using namespace ostrana;

class SilentPrompts final : public Prompts {
 public:
  void ShowMessage(const std::string&, PromptIcon) override {}
  bool AskYesNo(const std::string&) override { return true; }
};

machine::MailboxTiming FastTiming() {
  machine::MailboxTiming t;
  t.passInterval = std::chrono::milliseconds(1);
  t.pausePoll = std::chrono::milliseconds(1);
  t.pauseTimeout = std::chrono::milliseconds(5);
  return t;
}

struct Rig {
  Rig()
      : root(std::filesystem::temp_directory_path() / ("ostrana-fuzz-" + std::to_string(::getpid()))),
        control(root / "tnc"),
        component(control),
        nc(control),
        ops(component, prompts, OSTRANA_TEMPLATE, FastTiming(), nullptr) {
    protocol::DispatchRequest(ops, "Machine Connect: 4,localhost,0,100\n");
    nc.Init(100);
    ops.Stores().SetClientAttached(true);
  }
  ~Rig() {
    ops.ReleaseMachine();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  std::filesystem::path root;
  vc::VirtualControl control;
  vc::VcComponent component;
  ncsim::NcProgram nc;
  SilentPrompts prompts;
  run::MachineOperations ops;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Rig* rig = [] {
    auto* r = new Rig;
    std::atexit([] {});  // the rig lives for the process: the worker may still run
    return r;
  }();
  // One receive: at most 255 bytes, a zero byte ends the text.
  std::string chunk(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 255));
  chunk = chunk.c_str();
  const std::string reply = protocol::DispatchRequest(rig->ops, chunk);
  if (!protocol::IsWellFormedReply(reply)) std::abort();
  return 0;
}
