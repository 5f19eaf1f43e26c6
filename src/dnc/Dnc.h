// The operations of the DNC component that the connector uses, and nothing
// more. Every operation returns an HRESULT (negative = failure); objects are
// reference counted. Texts are narrow: the component backend converts them.
// Implementations must be callable from the main thread and the polling worker
// at the same time through the same references.
#pragma once

#include <cstdint>
#include <string>

#include "dnc/Com.h"

namespace ostrana::dnc {

class IJHConnection2 : public IUnknown {
 public:
  virtual HRESULT Configure(std::int32_t a, std::int32_t b) = 0;
  // Index 0: connection text (Text); index 1: connection number (UI4).
  virtual HRESULT SetProperty(std::int32_t index, const Variant& value) = 0;
};

// One cell of a table, as handed out by IJHDataAccess.
class IDataEntry : public IUnknown {
 public:
  virtual HRESULT GetValue(std::int32_t flags, Variant* out) = 0;
  virtual HRESULT SetValue(std::int32_t flags, const Variant& value, std::int32_t flags2) = 0;
};

class IJHDataAccess : public IUnknown {
 public:
  virtual HRESULT GetDataEntry(const std::string& path, std::int32_t a, std::int32_t b,
                               IDataEntry** out) = 0;
};

class IJHFileSystem : public IUnknown {
 public:
  virtual HRESULT SelectDirectory(const std::string& path) = 0;
  virtual HRESULT MakeDirectory(const std::string& path) = 0;
  // Succeeds when the file exists in the selected directory.
  virtual HRESULT LookUpFile(const std::string& name, std::int32_t flags, std::string* out) = 0;
  // Copies a workstation file to the control.
  virtual HRESULT TransmitFile(const std::string& workstationPath, const std::string& controlPath) = 0;
};

class IMachine : public IUnknown {
 public:
  virtual HRESULT Disconnect() = 0;
  // Kind 9: the object for IJHDataAccess; kind 5: the object for IJHFileSystem.
  virtual HRESULT GetInterfaceObject(std::int32_t kind, IUnknown** out) = 0;
  virtual HRESULT GetState(std::int32_t* state) = 0;
  virtual HRESULT ConnectionRequest(IJHConnection2* connection, const Variant& opt1,
                                    const Variant& opt2) = 0;
};

inline constexpr std::int32_t kDataAccessObject = 9;
inline constexpr std::int32_t kFileSystemObject = 5;

// Stands where CoCreateInstance of the machine object stands on Windows.
// Only S_OK counts as success.
class IComponent {
 public:
  virtual ~IComponent() = default;
  virtual HRESULT CreateMachine(IMachine** out) = 0;
};

// A workstation without the component: every creation fails as an
// unregistered class does.
class MissingComponent final : public IComponent {
 public:
  HRESULT CreateMachine(IMachine** out) override {
    if (out) *out = nullptr;
    SetFailureText("this computer has no DNC component; ostrana --control virtual runs the built-in virtual control");
    return REGDB_E_CLASSNOTREG;
  }
};

}  // namespace ostrana::dnc
