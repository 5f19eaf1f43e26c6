#include "machine/OstranaLib.h"

#include <cstdio>
#include <filesystem>
#include <utility>

#include "common/EventLog.h"
#include "common/PathText.h"
#include "common/StringTable.h"
#include "dnc/MachineStates.h"
#include "mailbox/MailboxLayout.h"

namespace ostrana::machine {
using dnc::ComPtr;
using dnc::Failed;
using dnc::HRESULT;
using dnc::InterfaceId;

namespace {
thread_local std::string accessFailure;

// "reading row 102 failed: GetValue answered 0x80070020 (what the component said)"
void NoteComponentFailure(const char* operation, std::int32_t row, const char* call, HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  const std::string words = dnc::ThreadFailureText();  // left for a caller that shows it
  NoteAccessFailure(std::string(operation) + " row " + std::to_string(row) + " failed: " + call + " answered " + code +
                    (words.empty() ? "" : " (" + words + ")"));
}
}  // namespace

void NoteAccessFailure(std::string why) { accessFailure = std::move(why); }
std::string TakeAccessFailure() { return std::exchange(accessFailure, std::string()); }

double VariantToDouble(const dnc::Variant& value) {
  using T = dnc::Variant::Type;
  switch (value.type) {
    case T::I2: return value.i2;
    case T::I4: return value.i4;
    case T::R4: return value.r4;
    case T::R8: return value.r8;
    default: return 0.0;
  }
}

OstranaLib::OstranaLib(dnc::IComponent& component, Prompts& prompts, std::string modulePath)
    : component_(component), prompts_(prompts), modulePath_(std::move(modulePath)) {}

OstranaLib::~OstranaLib() {
  // Last declared first; the data-access reference let go of outside its lock.
  fileSystem_.Clear();
  TakeDataAccess().Clear();
  machine_.Clear();
}

HRESULT OstranaLib::CreateMachine() {
  dnc::IMachine* raw = nullptr;
  const HRESULT hr = component_.CreateMachine(&raw);
  auto created = ComPtr<dnc::IMachine>::Attach(raw);
  if (hr != dnc::kOk) {
    lastFailure_ = hr;
    return hr;
  }
  if (!created) return dnc::kPointer;
  machine_ = std::move(created);
  return dnc::kOk;
}

bool OstranaLib::FailedStep(HRESULT hr) {
  if (!Failed(hr)) return false;
  lastFailure_ = hr;
  return true;
}

void OstranaLib::ReportConnectFailure(const std::string& reason) {
  // The box keeps its words; the operator's line says what the component said.
  const std::string why = dnc::TakeFailureText();
  prompts_.ShowMessage(std::string(strings::kConnectFailurePrefix) + reason + "\n", PromptIcon::None);
  if (!why.empty()) prompts_.Note(why);
}

bool OstranaLib::OpenConnection(const std::string& text, std::int32_t number) {
  // The connection reference lives only for these steps.
  ComPtr<dnc::IJHConnection2> connection;
  if (FailedStep(machine_.As(InterfaceId::Connection2, &connection)) || !connection) {
    ReportConnectFailure(strings::kReasonNoConnection2);
    return false;
  }
  if (FailedStep(connection->Configure(dnc::kConfigureFirst, dnc::kConfigureSecond))) {
    ReportConnectFailure(strings::kReasonConfigure);
    return false;
  }
  {
    // What setting a property answers is ignored; a set that never reached
    // the component (no such member, a refused argument) leaves the
    // connection unconfigured, and the connect goes no further.
    dnc::Variant host = dnc::Variant::FromText(text);
    dnc::Variant port = dnc::Variant::FromUI4(static_cast<std::uint32_t>(number));
    if (dnc::NotInvoked(connection->SetProperty(dnc::kPropertyConnectionText, host)) ||
        dnc::NotInvoked(connection->SetProperty(dnc::kPropertyConnectionNumber, port))) {
      ReportConnectFailure(strings::kReasonConfigure);
      return false;
    }
    dnc::TakeFailureText();
  }
  if (FailedStep(machine_->ConnectionRequest(connection.get(), dnc::Variant::Missing(), dnc::Variant::Missing()))) {
    ReportConnectFailure(strings::kReasonConnectRequest);
    return false;
  }
  std::int32_t state = 0;
  if (FailedStep(machine_->GetState(&state))) {
    ReportConnectFailure(strings::kReasonNoState);
    return false;
  }
  if (state == dnc::kStateMachineAvailable) return true;
  ReportConnectFailure(std::string(strings::kReasonNotAvailable) + dnc::MachineStateName(state));
  return false;
}

bool OstranaLib::OpenServices() {
  {
    dnc::IUnknown* raw = nullptr;
    const HRESULT hr = machine_->GetInterfaceObject(dnc::kDataAccessObject, &raw);
    auto object = ComPtr<dnc::IUnknown>::Attach(raw);
    if (FailedStep(hr) || !object) {
      ReportConnectFailure(strings::kReasonNoDataAccessObject);
      return false;
    }
    ComPtr<dnc::IJHDataAccess> access;
    const HRESULT qi = object.As(InterfaceId::DataAccess, &access);
    ComPtr<dnc::IJHDataAccess> earlier;
    {
      MutexLock guard(referenceLock_);
      earlier = std::exchange(dataAccess_, access);
    }
    earlier.Clear();  // outside the lock: its release may take long or call back
    if (FailedStep(qi) || !access) {
      ReportConnectFailure(strings::kReasonNoDataAccess);
      return false;
    }
  }
  {
    dnc::IUnknown* raw = nullptr;
    const HRESULT hr = machine_->GetInterfaceObject(dnc::kFileSystemObject, &raw);
    auto object = ComPtr<dnc::IUnknown>::Attach(raw);
    if (FailedStep(hr) || !object) {
      ReportConnectFailure(strings::kReasonNoFileSystemObject);
      return false;
    }
    fileSystem_.Clear();
    if (FailedStep(object.As(InterfaceId::FileSystem, &fileSystem_)) || !fileSystem_) {
      ReportConnectFailure(strings::kReasonNoFileSystem);
      return false;
    }
  }
  dnc::TakeFailureText();
  if (!ProvisionTable()) {
    ReportConnectFailure(strings::kReasonNoTable);
    return false;
  }
  return true;
}

std::string OstranaLib::TemplatePath() const {
  const auto cut = modulePath_.find_last_of("/\\");
  const std::string folder = cut == std::string::npos ? std::string() : modulePath_.substr(0, cut + 1);
  return folder + mailbox::kTableFileName;
}

bool OstranaLib::ProvisionTable() {
  const std::string directory = mailbox::kTableDirectory;
  if (FailedStep(fileSystem_->SelectDirectory(directory))) {
    if (FailedStep(fileSystem_->MakeDirectory(directory))) return false;
    if (FailedStep(fileSystem_->SelectDirectory(directory))) return false;
  }
  std::string found;
  const HRESULT lookUp = fileSystem_->LookUpFile(mailbox::kTableFileName, dnc::kLookUpFlags, &found);
  if (!FailedStep(lookUp)) return true;
  // Only a control that said "not there" gets the template: on any other
  // answer the table may well exist, and a transmission would overwrite it.
  if (!dnc::IsNotFound(lookUp)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(lookUp));
    const std::string why = dnc::TakeFailureText();
    dnc::SetFailureText(std::string("the look-up of ") + mailbox::kTablePath + " failed (" + code + ")" +
                        (why.empty() ? "" : ": " + why) + "; nothing was transmitted");
    return false;
  }
  dnc::TakeFailureText();
  if (FailedStep(fileSystem_->TransmitFile(TemplatePath(), mailbox::kTablePath))) return false;
  std::error_code ec;
  const auto size = std::filesystem::file_size(PathOf(TemplatePath()), ec);
  Log(LogLevel::Audit, "table",
      "transmitted " + TemplatePath() + " (" + (ec ? "size unknown" : std::to_string(size) + " bytes") + ") to " +
          mailbox::kTablePath,
      LogEvent(EventId::TableTransmitted).Values(TemplatePath() + " to " + mailbox::kTablePath).Result(true));
  return true;
}

ComPtr<dnc::IDataEntry> OstranaLib::OpenCell(std::int32_t row, const char* operation) const {
  ComPtr<dnc::IJHDataAccess> access;
  {
    MutexLock guard(referenceLock_);
    access = dataAccess_;
  }
  if (!access) {  // nothing connected: the component is not asked
    NoteAccessFailure(std::string(operation) + " row " + std::to_string(row) + " failed: the machine is not connected");
    return {};
  }
  dnc::TakeFailureText();  // only what this access makes the component say
  dnc::IDataEntry* raw = nullptr;
  const HRESULT hr = access->GetDataEntry(mailbox::CellPath(row), dnc::kDataEntryKind, dnc::kDataEntryOptions, &raw);
  auto entry = ComPtr<dnc::IDataEntry>::Attach(raw);
  if (Failed(hr) || !entry) {
    NoteComponentFailure(operation, row, Failed(hr) ? "GetDataEntry" : "GetDataEntry gave no entry and", hr);
    return {};
  }
  return entry;
}

bool OstranaLib::ReadCell(std::int32_t row, double& value) {
  auto entry = OpenCell(row, "reading");
  if (!entry) return false;
  dnc::Variant result;
  if (const HRESULT hr = entry->GetValue(dnc::kValueFlags, &result); Failed(hr)) {
    NoteComponentFailure("reading", row, "GetValue", hr);
    return false;
  }
  value = VariantToDouble(result);
  return true;
}

bool OstranaLib::WriteCell(std::int32_t row, double value) {
  auto entry = OpenCell(row, "writing");
  if (!entry) return false;
  const HRESULT hr = entry->SetValue(dnc::kValueFlags, dnc::Variant::FromR8(value), dnc::kValueFlags);
  if (Failed(hr)) NoteComponentFailure("writing", row, "SetValue", hr);
  return !Failed(hr);
}

ComPtr<dnc::IJHDataAccess> OstranaLib::TakeDataAccess() {
  MutexLock guard(referenceLock_);
  return std::move(dataAccess_);
}

void OstranaLib::ReleaseAll() {
  TakeDataAccess().Clear();  // released outside the lock
  fileSystem_.Clear();
  if (machine_) machine_->Disconnect();
  machine_.Clear();
}

}  // namespace ostrana::machine
