#include "comdnc/Probe.h"

#include <ole2.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "comdnc/DispatchObject.h"
#include "comdnc/MemberCheck.h"
#include "comdnc/Published.h"
#include "comdnc/Registration.h"
#include "common/WideText.h"
#include "dnc/Dnc.h"
#include "dnc/MachineStates.h"
#include "mailbox/MailboxLayout.h"

namespace ostrana::comdnc {
namespace {

std::string GuidText(const GUID& guid) {
  wchar_t text[64];
  StringFromGUID2(guid, text, 64);
  std::string result;
  for (const wchar_t* c = text; *c; ++c) result += static_cast<char>(*c);
  return result;
}

std::string Line(const FoundMember& member) {
  std::string line = "  ";
  line += member.vtableSlot > 0 ? "slot " + std::to_string(member.vtableSlot) + ": " : "";
  return line + Describe(member);
}

// Shows what `object` has for `published` and whether it passes.
bool Show(IDispatch* object, const Interface& published, std::FILE* out) {
  std::fprintf(out, "\n%s %s\n", published.name, GuidText(*published.iid).c_str());
  const Inspection inspection = Inspect(object, published);
  if (inspection.typeInformation) {
    std::fprintf(out, "  type information: %s, %zu members\n", inspection.view.c_str(), inspection.members.size());
    for (const FoundMember& member : inspection.members) std::fprintf(out, "%s\n", Line(member).c_str());
  } else {
    std::fprintf(out, "  no type information: shapes cannot be checked, members are called by their DISPIDs\n");
  }
  for (const Finding& finding : inspection.findings)
    std::fprintf(out, "  %s \"%s\": published %s: %s%s\n", finding.ok ? "ok      " : "MISMATCH",
                 finding.published->operation, Describe(*finding.published).c_str(), finding.ok ? "found " : "found ",
                 finding.found.c_str());
  const std::string order = inspection.AllOk() ? inspection.OrderProblem(published) : std::string();
  if (!order.empty()) std::fprintf(out, "  MISMATCH order: %s\n", order.c_str());
  return inspection.AllOk() && order.empty();
}

VARIANT Long(std::int32_t value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Text(const std::string& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = ToBstr(text);
  return v;
}

// A text typed for the probe, as it was typed (the program's UTF-8).
VARIANT Typed(const std::string& utf8) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(Wide(utf8).c_str());
  return v;
}

// Calls `member` of `object` (a reference of the caller's), clearing the arguments.
HRESULT Call(IDispatch* object, const Interface& published, const Member& member, std::vector<VARIANT> arguments,
             VARIANT* result = nullptr) {
  object->AddRef();
  DispatchObject dispatch(object, published);
  const HRESULT hr = dispatch.Call(member, arguments, result);
  for (auto& v : arguments) VariantClear(&v);
  return hr;
}

std::string Said(HRESULT hr) {
  std::string text = SUCCEEDED(hr) ? "done" : DescribeStatus(hr);
  if (const std::string why = dnc::TakeFailureText(); !why.empty() && FAILED(hr)) text += ": " + why;
  return text;
}

// Connects as the connector does; false (and why) when it cannot.
bool Connect(IDispatch* machine, IDispatch* connection, const std::string& machineText, std::int32_t signedNumber,
             std::FILE* out) {
  std::fprintf(out, "\nConnecting to %s, connection %ld:\n", machineText.c_str(), static_cast<long>(signedNumber));
  std::fprintf(out, "  configure (%d, %d): %s\n", dnc::kConfigureFirst, dnc::kConfigureSecond,
               Said(Call(connection, published::kConnection, published::kConfigure,
                         {Long(dnc::kConfigureFirst), Long(dnc::kConfigureSecond)}))
                   .c_str());
  std::fprintf(out, "  set property %d (connection text): %s\n", dnc::kPropertyConnectionText,
               Said(Call(connection, published::kConnection, published::kPropertyValuePut,
                         {Long(dnc::kPropertyConnectionText), Typed(machineText)}))
                   .c_str());
  VARIANT unsignedNumber;
  VariantInit(&unsignedNumber);
  unsignedNumber.vt = VT_UI4;
  unsignedNumber.ulVal = static_cast<std::uint32_t>(signedNumber);  // as the connector hands it over
  std::fprintf(out, "  set property %d (connection number %lu): %s\n", dnc::kPropertyConnectionNumber,
               static_cast<unsigned long>(unsignedNumber.ulVal),
               Said(Call(connection, published::kConnection, published::kPropertyValuePut,
                         {Long(dnc::kPropertyConnectionNumber), unsignedNumber}))
                   .c_str());
  VARIANT reference;
  VariantInit(&reference);
  reference.vt = VT_DISPATCH;
  reference.pdispVal = connection;
  connection->AddRef();
  VARIANT missing;
  VariantInit(&missing);
  missing.vt = VT_ERROR;
  missing.scode = DISP_E_PARAMNOTFOUND;
  const HRESULT hr = Call(machine, published::kMachine, published::kConnectRequest3, {reference, missing, missing});
  std::fprintf(out, "  connection request: %s\n", Said(hr).c_str());
  if (FAILED(hr)) return false;
  VARIANT state;
  VariantInit(&state);
  const HRESULT got = Call(machine, published::kMachine, published::kGetState, {}, &state);
  if (SUCCEEDED(got) && SUCCEEDED(VariantChangeType(&state, &state, 0, VT_I4)))
    std::fprintf(out, "  machine state %ld: %s\n", static_cast<long>(state.lVal), dnc::MachineStateName(state.lVal));
  else
    std::fprintf(out, "  machine state: %s\n", Said(got).c_str());
  VariantClear(&state);
  return true;
}

// The object the machine hands out for `kind`, queried for `published`.
IDispatch* HandedOut(IDispatch* machine, std::int32_t kind, const Interface& published, std::FILE* out) {
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr = Call(machine, published::kMachine, published::kGetInterface, {Long(kind)}, &result);
  IDispatch* queried = nullptr;
  if (SUCCEEDED(hr) && (result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) && result.punkVal)
    result.punkVal->QueryInterface(*published.iid, reinterpret_cast<void**>(&queried));
  if (!queried)
    std::fprintf(out, "\n%s %s: not handed out (kind %d): %s\n", published.name, GuidText(*published.iid).c_str(), kind,
                 SUCCEEDED(hr) ? "the object does not offer the interface" : Said(hr).c_str());
  VariantClear(&result);
  return queried;
}

// A data entry of the exchange table's row 1, as the connector's test read asks for it.
IDispatch* SomeDataEntry(IDispatch* access, std::FILE* out) {
  VARIANT asText;
  VariantInit(&asText);
  asText.vt = VT_BOOL;
  asText.boolVal = VARIANT_FALSE;
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr = Call(access, published::kDataAccess, published::kGetDataEntry2,
                          {Text(mailbox::CellPath(1)), Long(dnc::kDataEntryKind), asText}, &result);
  IDispatch* entry = nullptr;
  if (SUCCEEDED(hr) && (result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) && result.punkVal)
    result.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&entry));
  if (!entry)
    std::fprintf(out, "\nIJHDataEntry2: could not check: no data entry of %s (%s): is the table on the control?\n",
                 mailbox::CellPath(1).c_str(), Said(hr).c_str());
  VariantClear(&result);
  return entry;
}

}  // namespace

int RunProbe(const std::string& machineText, std::int32_t number, std::FILE* out) {
  const Registrations registrations = ReadRegistrations(kMachineClass);
  ReportRegistrations(registrations, out);
  IDispatch* machine = nullptr;
  const HRESULT created =
      CoCreateInstance(kMachineClass, nullptr, kCreateContext, kMachineInterface, reinterpret_cast<void**>(&machine));
  if (created != S_OK || !machine) {
    // Registered for the other bitness only: that, not "not installed".
    const std::string hint = created == REGDB_E_CLASSNOTREG ? OtherBitnessHint(registrations) : std::string();
    std::fprintf(out, "\nostrana: the DNC component %s cannot be created: %s\n", GuidText(kMachineClass).c_str(),
                 hint.empty() ? DescribeStatus(created).c_str() : "0x80040154 (REGDB_E_CLASSNOTREG)");
    if (!hint.empty()) std::fprintf(out, "ostrana: %s\n", hint.c_str());
    if (created == REGDB_E_CLASSNOTREG) {
      // The report ends with what to do, not only with what is wrong.
      if (hint.empty())
        std::fprintf(out,
                     "ostrana: install the control maker's DNC component (HEIDENHAIN's, which comes with the machine's "
                     "or the control's PC software, such as HEIDENHAIN's RemoTools SDK): the connector cannot work "
                     "without it.\n");
      std::fprintf(out, "ostrana: then run this probe again (Start menu: Ostrana Connector DNC probe).\n");
    }
    if (machine) machine->Release();
    return kProbeNotCreated;
  }
  std::fprintf(out, "\nThe DNC component %s: created.\n", GuidText(kMachineClass).c_str());
  std::vector<std::string> mismatched;
  auto check = [&](IDispatch* object, const Interface& published) {
    const bool ok = Show(object, published, out);
    if (!ok) mismatched.push_back(published.name);
    return ok;
  };
  const bool machineOk = check(machine, published::kMachine);
  IDispatch* connection = nullptr;
  machine->QueryInterface(kConnectionInterface, reinterpret_cast<void**>(&connection));
  bool connectionOk = false;
  if (connection)
    connectionOk = check(connection, published::kConnection);
  else
    std::fprintf(out, "\nIJHConnection2 %s: NOT OFFERED by the machine object\n",
                 GuidText(kConnectionInterface).c_str());
  if (!connection) mismatched.push_back("IJHConnection2");

  bool connected = false;
  if (machineText.empty())
    std::fprintf(out, "\nNo connection data: give the connection text and number to connect and check the rest.\n");
  else if (machineOk && connectionOk)
    connected = Connect(machine, connection, machineText, number, out);
  if (connection) connection->Release();

  bool entryChecked = false;
  if (machineOk) {
    if (IDispatch* access = HandedOut(machine, dnc::kDataAccessObject, published::kDataAccess, out)) {
      if (check(access, published::kDataAccess)) {
        if (IDispatch* entry = SomeDataEntry(access, out)) {
          check(entry, published::kDataEntry);
          entryChecked = true;
          entry->Release();
        }
      }
      access->Release();
    }
    if (IDispatch* files = HandedOut(machine, dnc::kFileSystemObject, published::kFileSystem, out)) {
      check(files, published::kFileSystem);
      files->Release();
    }
  }
  if (connected) {
    Call(machine, published::kMachine, published::kDisconnect, {});
    dnc::TakeFailureText();
    std::fprintf(out, "\nDisconnected.\n");
  }
  machine->Release();

  if (!mismatched.empty()) {
    std::string names;
    for (const auto& name : mismatched) names += (names.empty() ? "" : ", ") + name;
    std::fprintf(out,
                 "\nA name or shape does not match what the DNC component publishes: %s (see above). The "
                 "connector refuses to call it.\n",
                 names.c_str());
    return kProbeMismatch;
  }
  if (!connected) {
    std::fprintf(out, "\nNot connected: the members checked so far match; connect to check the rest.\n");
    return kProbeNotConnected;
  }
  if (!entryChecked) {
    std::fprintf(out, "\nCould not check the data entry (is the table on the control?).\n");
    return kProbeEntryUnchecked;
  }
  std::fprintf(out, "\nEvery member the connector calls is there as published.\n");
  return kProbeAllChecked;
}

}  // namespace ostrana::comdnc
