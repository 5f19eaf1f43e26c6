// OstranaLib holds the connector's three references into the DNC component
// (the machine object, data access, file system) and performs every
// operation on them: the connection steps, obtaining the services, making
// sure the exchange table exists, and reading and writing single cells.
//
// Threads: everything runs on the main thread, except ReadCell and WriteCell,
// which the polling worker calls too. Those copy the data-access reference
// under `referenceLock` and call through their own copy, so a Disconnect or a
// new Connect on the main thread never pulls the object from under a call in
// progress; the component then fails that call, since its session is closed.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "common/Mutex.h"
#include "common/Prompts.h"
#include "dnc/Dnc.h"

namespace ostrana::machine {

class OstranaLib {
 public:
  // `modulePath`: the executable's full path; the table template lies beside it.
  OstranaLib(dnc::IComponent& component, Prompts& prompts, std::string modulePath);
  virtual ~OstranaLib();
  OstranaLib(const OstranaLib&) = delete;
  OstranaLib& operator=(const OstranaLib&) = delete;

  bool HasMachine() const { return static_cast<bool>(machine_); }
  void ClearLastFailure() { lastFailure_ = dnc::kOk; }
  // Creates the machine object; the component's result (only kOk is success).
  dnc::HRESULT CreateMachine();

  // The DNC connection steps: configure, request, check the machine state.
  bool OpenConnection(const std::string& text, std::int32_t number);
  // Data access and file system, then the table.
  bool OpenServices();
  // True when the exchange table exists on the control, found or transmitted.
  bool ProvisionTable();

  bool ReadCell(std::int32_t row, double& value);
  bool WriteCell(std::int32_t row, double value);

  void ReportConnectFailure(const std::string& reason);
  // The status of the last connection step that failed (main thread), for the log.
  dnc::HRESULT LastFailure() const { return lastFailure_; }
  // The teardown steps: release the services, disconnect and release the machine.
  void ReleaseAll();

  // The workstation path of the template: the module's folder and the file name.
  std::string TemplatePath() const;

 private:
  // The data entry of one cell, through a reference of its own (empty on
  // failure, which is noted for `operation`: "reading" or "writing").
  dnc::ComPtr<dnc::IDataEntry> OpenCell(std::int32_t row, const char* operation) const;
  // Moves the data-access reference out under its lock; the caller lets go
  // of it after the lock is left, since a release may call back into this
  // object (a component in another process handling other work meanwhile).
  dnc::ComPtr<dnc::IJHDataAccess> TakeDataAccess();

  dnc::IComponent& component_;
  Prompts& prompts_;
  std::string modulePath_;

  // A failed status of a connection step: noted for the log, then true.
  bool FailedStep(dnc::HRESULT hr);

  dnc::HRESULT lastFailure_ = dnc::kOk;  // main thread only
  dnc::ComPtr<dnc::IMachine> machine_;
  mutable Mutex referenceLock_;  // guards dataAccess_ only
  dnc::ComPtr<dnc::IJHDataAccess> dataAccess_ GUARDED_BY(referenceLock_);
  dnc::ComPtr<dnc::IJHFileSystem> fileSystem_;
};

// Why the last mailbox access of the calling thread failed, in words: the
// operation, the row, and the component's status and what it said (or why
// the access was not made). Every failed ReadCell and WriteCell notes it, and
// so does the polling worker for an access it skips or a reading it refuses;
// the thread that made the access takes it (and so clears it). Any thread.
void NoteAccessFailure(std::string why);
std::string TakeAccessFailure();

// A cell value as a double: I2, I4, R4, R8 widened exactly, everything else 0.0.
double VariantToDouble(const dnc::Variant& value);

}  // namespace ostrana::machine
