// The machine connection: construction, Connect, Disconnect, teardown.
#include "machine/OstranaConnect.h"

#include <cstdio>

#include "common/EventLog.h"
#include "mailbox/MailboxRows.h"
#include "common/StringTable.h"

namespace ostrana::machine {

using namespace mailbox;  // the exchange table's rows and readings

OstranaConnect::OstranaConnect(EventStores& owner_, dnc::IComponent& component, Prompts& prompts_,
                               std::string modulePath, MailboxTiming timing_)
    : owner(owner_), lib(component, prompts_, std::move(modulePath)), timing(timing_), prompts(prompts_) {}

OstranaConnect::~OstranaConnect() {
  // The worker must never outlive what it reads through.
  StopPolling();
  lib.ReleaseAll();
}

bool OstranaConnect::Connect() {
  const std::string text = connectionText;
  const std::int32_t number = connectionNumber;
  bool ok = false;
  lib.ClearLastFailure();
  dnc::TakeFailureText();
  if (!lib.HasMachine() && lib.CreateMachine() != dnc::kOk) {
    prompts.ShowMessage(strings::kComponentMissing, PromptIcon::Exclamation);
    if (const std::string why = dnc::TakeFailureText(); !why.empty()) prompts.Note(why);
  } else if (lib.OpenConnection(text, number) && lib.OpenServices()) {
    // Row 1 itself, whatever the base row: is the table usable? When it is
    // not, the user is told what is wrong with which file.
    double probe = 0.0;
    dnc::TakeFailureText();
    ok = lib.ReadCell(1, probe);
    if (!ok) {
      const std::string why = dnc::TakeFailureText();
      lib.ReportConnectFailure(std::string("The Freely Definable Table file ") + kTablePath +
                               " cannot be used: " + (why.empty() ? "its row 1 cannot be read" : why));
    }
  }
  const std::string where = text + "," + std::to_string(number) + ", base row " + std::to_string(baseRow.load());
  if (ok) {
    Log(LogLevel::Info, "machine", "connected to " + where + ": " + machine::MachineStateName(machine::kStateMachineAvailable));
  } else {
    char status[16];
    std::snprintf(status, sizeof status, "0x%08X", static_cast<unsigned>(lib.LastFailure()));
    Log(LogLevel::Warning, "machine",
        "connect to " + where + " failed" + (dnc::Failed(lib.LastFailure()) ? std::string(" (HRESULT ") + status + ")" : ""));
    lib.ReleaseAll();
  }
  return ok;
}

void OstranaConnect::Disconnect() {
  if (lib.HasMachine()) Log(LogLevel::Info, "machine", "disconnected");
  lib.ReleaseAll();
}

}  // namespace ostrana::machine
