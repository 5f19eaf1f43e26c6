// What HEIDENHAIN's DNC component publishes in its type library, for the
// operations the connector calls: the class, the interfaces by IID, and for
// each operation its member: name, DISPID and shape (how it is invoked, its
// parameters, which of them are optional, whether it gives back a value).
// An interface identified by its IID never changes, so this table is fixed:
// nothing the user edits can point an operation at another member.
//
// Threads: constant data, read from any thread.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <vector>

namespace ostrana::comdnc {

// The machine class the connector creates, and its IIDs.
extern const CLSID kMachineClass;
extern const IID kMachineInterface;          // IJHMachine3
extern const IID kConnectionInterface;       // IJHConnection2
extern const IID kDataAccessInterface;       // IJHDataAccess3
extern const IID kFileSystemInterface;       // IJHFileSystem
inline constexpr DWORD kCreateContext = 23;  // CLSCTX_ALL

// A parameter's type as the type library gives it; enums travel as Long.
enum class Arg { Text, Long, Bool, Variant, Object };
enum class Invoke { Method, PropertyPut };

struct Member {
  const char* operation;  // the connector's word for it: "look up file"
  const wchar_t* name;    // the published name: L"PreviewFile"
  DISPID dispid;
  Invoke kind;
  std::vector<Arg> parameters;  // the [in] parameters, in order
  int optional;                 // how many of the last ones are [optional]
  bool returnsValue;            // an [out, retval] parameter
};

struct Interface {
  const char* name;  // "IJHFileSystem"
  const IID* iid;
  std::vector<const Member*> members;  // the ones the connector calls, in published order
};

namespace published {
extern const Member kDisconnect, kGetInterface, kGetState, kConnectRequest3;
extern const Member kConfigure, kPropertyValuePut;
extern const Member kGetDataEntry2;
extern const Member kGetPropertyValue, kSetPropertyValue;
extern const Member kChangeDirectory, kMakeDirectory, kPreviewFile, kTransmitFile;
extern const Interface kMachine, kConnection, kDataAccess, kDataEntry, kFileSystem;
}  // namespace published

}  // namespace ostrana::comdnc
