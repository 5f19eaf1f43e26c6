// The DNC component as the connector uses it: the operations of HEIDENHAIN's
// DNC COM component that the connector calls, and nothing more. Two backends
// implement it: the virtual control (vc/VcComponent) and, on Windows, the
// real component reached late-bound. The connector's safety rests on the
// rules written here, not on any one backend.
//
// Status codes. Every operation returns an HRESULT (dnc/Com.h): kOk on
// success, a negative code on failure. A backend must return
//  - kNotConnected from every operation of an object whose session has been
//    closed (IMachine::Disconnect, or the component losing the control):
//    the polling worker may still hold a data entry of a closed session, and
//    relies on it failing rather than reaching a control it was not given;
//  - kPointer when an out-parameter is null;
//  - another negative code for any other failure (kInvalidArg for a path,
//    row or column that does not exist, kFileNotFound, kPathNotFound, kFail).
// A backend may describe a failure in words with SetFailureText before it
// returns (COM's error object); callers that tell the user take it.
//
// Out-parameters. On failure an object out-parameter holds nullptr and a
// value out-parameter is left as it was; on success an object out-parameter
// holds a new reference the caller owns (ComPtr::Attach takes it).
//
// Threads. The machine, connection and file-system objects are used from
// the main thread only. Data access and data entries are used from the main
// thread and the polling worker at the same time, through the same
// references, without marshalling (a multithreaded apartment): a backend
// must make them safe for that.
#pragma once

#include <cstdint>
#include <string>

#include "dnc/Com.h"

namespace ostrana::dnc {

// The values the connector passes where the component takes numbers whose
// meaning is the component's own; named here so they stand in one place.
inline constexpr std::int32_t kConfigureFirst = 10;  // IJHConnection2::Configure(10, 5)
inline constexpr std::int32_t kConfigureSecond = 5;
inline constexpr std::int32_t kPropertyConnectionText = 0;    // a Text value
inline constexpr std::int32_t kPropertyConnectionNumber = 1;  // a UI4 value
inline constexpr std::int32_t kDataAccessObject = 9;          // IMachine::GetInterfaceObject kinds
inline constexpr std::int32_t kFileSystemObject = 5;
inline constexpr std::int32_t kDataEntryKind = 1;  // IJHDataAccess::GetDataEntry(path, 1, 0)
inline constexpr std::int32_t kDataEntryOptions = 0;
inline constexpr std::int32_t kValueFlags = 0;   // IDataEntry::GetValue(0, ...), SetValue(0, ..., 0)
inline constexpr std::int32_t kLookUpFlags = 1;  // IJHFileSystem::LookUpFile(name, 1, ...)

// The connection settings, queried from the machine object.
class IJHConnection2 : public IUnknown {
 public:
  // Sets the connection's parameters: (kConfigureFirst, kConfigureSecond).
  virtual HRESULT Configure(std::int32_t first, std::int32_t second) = 0;
  // kPropertyConnectionText takes the connection text (Text),
  // kPropertyConnectionNumber the connection number (UI4). The connector
  // ignores the result: a bad value shows in the connection request.
  virtual HRESULT SetProperty(std::int32_t index, const Variant& value) = 0;
};

// One cell of a table, as IJHDataAccess hands it out. Used directly, without
// a query. Main thread and polling worker.
class IDataEntry : public IUnknown {
 public:
  // The cell's value (flags: kValueFlags): I2, I4, R4 or R8 for a number,
  // Empty for an empty cell. On failure *value is left as it was.
  virtual HRESULT GetValue(std::int32_t flags, Variant* value) = 0;
  // Writes the cell (flags and flags2: kValueFlags). The connector writes R8.
  // A value the cell cannot hold fails, and nothing is written.
  virtual HRESULT SetValue(std::int32_t flags, const Variant& value, std::int32_t flags2) = 0;
};

// Cells of tables on the control. Main thread and polling worker.
class IJHDataAccess : public IUnknown {
 public:
  // The entry of one cell, by its data path
  // ("\TABLE\'TNC:\Quorvane\Quorvane_Relavio.TAB'\NR\7\PARAM"); kind and
  // options: kDataEntryKind, kDataEntryOptions. Fails (kInvalidArg) for a
  // row or column the table does not have.
  virtual HRESULT GetDataEntry(const std::string& path, std::int32_t kind, std::int32_t options,
                               IDataEntry** entry) = 0;
};

// Files and folders on the control. Main thread only.
class IJHFileSystem : public IUnknown {
 public:
  // Makes a folder ("TNC:\Quorvane\") the selected one; fails when it does not exist.
  virtual HRESULT SelectDirectory(const std::string& path) = 0;
  virtual HRESULT MakeDirectory(const std::string& path) = 0;
  // Succeeds when `name` exists in the selected folder (flags: kLookUpFlags);
  // *found receives a text the connector does not use.
  virtual HRESULT LookUpFile(const std::string& name, std::int32_t flags, std::string* found) = 0;
  // Copies a file of this computer to a path on the control. `workstationPath`
  // is a path of this program (UTF-8, see common/PathText.h); `controlPath` is
  // the control's text, like every other text handed to the component.
  virtual HRESULT TransmitFile(const std::string& workstationPath, const std::string& controlPath) = 0;
};

// The machine object: the session with one control. Main thread only.
class IMachine : public IUnknown {
 public:
  // Ends the session: every object handed out for it fails with kNotConnected
  // from then on. Its result is ignored.
  virtual HRESULT Disconnect() = 0;
  // The object for IJHDataAccess (kDataAccessObject) or IJHFileSystem
  // (kFileSystemObject), to be queried for that interface.
  virtual HRESULT GetInterfaceObject(std::int32_t kind, IUnknown** object) = 0;
  // The machine state, 0 to 11; 7 is "machine available".
  virtual HRESULT GetState(std::int32_t* state) = 0;
  // Opens the session configured in `connection`; both optional arguments
  // are Variant::Missing().
  virtual HRESULT ConnectionRequest(IJHConnection2* connection, const Variant& optional1, const Variant& optional2) = 0;
};

// Stands where CoCreateInstance of the machine object stands on Windows.
// Only kOk counts as success (not kFalse). Main thread only.
class IComponent {
 public:
  virtual ~IComponent() = default;
  virtual HRESULT CreateMachine(IMachine** machine) = 0;
};

// A workstation without the component: every creation fails as an
// unregistered class does.
class MissingComponent final : public IComponent {
 public:
  HRESULT CreateMachine(IMachine** machine) override {
    if (machine) *machine = nullptr;
    SetFailureText("this computer has no DNC component; ostrana --control virtual runs the built-in virtual control");
    return kClassNotRegistered;
  }
};

}  // namespace ostrana::dnc
