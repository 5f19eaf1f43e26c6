#include "comdnc/Registration.h"

#include <ole2.h>

#include "common/WideText.h"

namespace ostrana::comdnc {
namespace {

// The published type library of the component.
const wchar_t kTypeLibrary[] = L"TypeLib\\{14B95319-AEF9-492A-A878-CA18FEB1F5BF}";

std::string Value(HKEY key, const wchar_t* subkey, const wchar_t* name) {
  wchar_t data[MAX_PATH * 2] = L"";
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  HKEY opened = nullptr;
  if (RegOpenKeyExW(key, subkey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return {};
  const LONG result = RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(opened);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  return Utf8(std::wstring(data));  // a path: the program's UTF-8
}

ClassRegistration Read(const std::wstring& classKey, REGSAM view) {
  ClassRegistration found;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
    found.registered = true;
    found.inprocServer = Value(key, L"InprocServer32", nullptr);
    found.threadingModel = Value(key, L"InprocServer32", L"ThreadingModel");
    found.localServer = Value(key, L"LocalServer32", nullptr);
    RegCloseKey(key);
  }
  HKEY library = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kTypeLibrary, 0, KEY_READ | view, &library) == ERROR_SUCCESS) {
    found.typeLibrary = true;
    RegCloseKey(library);
  }
  return found;
}

void Report(const char* name, const ClassRegistration& view, std::FILE* out) {
  if (!view.registered) {
    std::fprintf(out, "  %s: not registered\n", name);
    return;
  }
  std::fprintf(out, "  %s: registered\n", name);
  if (!view.inprocServer.empty())
    std::fprintf(out, "    InprocServer32: %s (ThreadingModel %s)\n", view.inprocServer.c_str(),
                 view.threadingModel.empty() ? "not given" : view.threadingModel.c_str());
  if (!view.localServer.empty()) std::fprintf(out, "    LocalServer32: %s\n", view.localServer.c_str());
  std::fprintf(out, "    type library: %s\n", view.typeLibrary ? "registered" : "not registered");
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

}  // namespace

Registrations ReadRegistrations(const CLSID& machineClass) {
  wchar_t id[64];
  StringFromGUID2(machineClass, id, 64);
  const std::wstring classKey = std::wstring(L"CLSID\\") + id;
  return {Read(classKey, KEY_WOW64_32KEY), Read(classKey, KEY_WOW64_64KEY)};
}

std::string OtherBitnessHint(const Registrations& registrations) {
  const ClassRegistration& mine = ProgramBits() == 64 ? registrations.view64 : registrations.view32;
  const ClassRegistration& other = ProgramBits() == 64 ? registrations.view32 : registrations.view64;
  if (!mine.inprocServer.empty() || other.inprocServer.empty()) return {};
  if (!mine.localServer.empty() || !other.localServer.empty()) return {};
  const int bits = ProgramBits() == 64 ? 32 : 64;
  return "the DNC component is installed for " + std::to_string(bits) +
         "-bit programs only; run ostrana-setup-1.1.exe again (or with /BITS=" + std::to_string(bits) +
         ") to install the " + std::to_string(bits) + "-bit Ostrana Connector";
}

std::string MissingForThisProgram(const Registrations& registrations) {
  if ((ProgramBits() == 64 ? registrations.view64 : registrations.view32).registered) return {};
  if (!Hosting(registrations).empty()) return {};  // an out-of-process server of the other view
  const std::string hint = OtherBitnessHint(registrations);
  return hint.empty() ? "the DNC component is not installed on this computer (HEIDENHAIN's RemoTools SDK installs it)"
                      : hint;
}

std::string Hosting(const Registrations& registrations) {
  const ClassRegistration& mine = ProgramBits() == 64 ? registrations.view64 : registrations.view32;
  const ClassRegistration& other = ProgramBits() == 64 ? registrations.view32 : registrations.view64;
  if (!mine.inprocServer.empty())  // what creating with every context prefers
    return "an in-process DLL, " + std::to_string(ProgramBits()) + "-bit, threading model " +
           (mine.threadingModel.empty() ? "not given (the main thread's)" : mine.threadingModel);
  const std::string& local = mine.localServer.empty() ? other.localServer : mine.localServer;
  if (local.empty()) return {};
  // The command line's program: quoted, or up to its ".exe".
  std::string program = local;
  if (program.starts_with('"'))
    program = program.substr(1, program.find('"', 1) - 1);
  else if (const auto end = Lower(program).find(".exe"); end != std::string::npos)
    program.resize(end + 4);
  DWORD type = 0;
  const char* bits = !GetBinaryTypeW(Wide(program).c_str(), &type) ? "a program that cannot be read"
                     : type == SCS_64BIT_BINARY                    ? "a 64-bit program"
                     : type == SCS_32BIT_BINARY                    ? "a 32-bit program"
                                                                   : "a program of another kind";
  return "an out-of-process server, " + std::string(bits) + ": " + local;
}

void ReportRegistrations(const Registrations& registrations, std::FILE* out) {
  std::fprintf(out, "This program: %d-bit.\nThe DNC component's class in the registry:\n", ProgramBits());
  Report("for 32-bit programs", registrations.view32, out);
  Report("for 64-bit programs", registrations.view64, out);
  if (const std::string hosting = Hosting(registrations); !hosting.empty())
    std::fprintf(out, "This program creates it as %s.\n", hosting.c_str());
}

}  // namespace ostrana::comdnc
