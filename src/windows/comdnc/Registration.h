// Where the DNC component's machine class is registered on this computer,
// in both registry views (the 32-bit programs' and the 64-bit programs'):
// a 64-bit program cannot load a 32-bit in-process server, nor the reverse,
// so "class not registered" may well mean "registered for the other
// bitness", and the person at the machine needs to be told which. An
// out-of-process server (LocalServer32, in either view) serves programs of
// both bitnesses.
//
// Threads: any; reads the registry, keeps nothing.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace ostrana::comdnc {

struct ClassRegistration {
  bool registered = false;
  std::string inprocServer;  // InprocServer32: a DLL
  std::string localServer;   // LocalServer32: an EXE (serves either bitness)
  std::string threadingModel;
  bool typeLibrary = false;  // the component's type library is registered in this view
};

struct Registrations {
  ClassRegistration view32;
  ClassRegistration view64;  // the same as view32 on 32-bit Windows
};

Registrations ReadRegistrations(const CLSID& machineClass);
// The bitness of this program: 32 or 64.
constexpr int ProgramBits() { return sizeof(void*) == 8 ? 64 : 32; }
// When the class has an in-process server for the other bitness only (and no
// out-of-process server anywhere), in words (what to install instead);
// empty otherwise.
std::string OtherBitnessHint(const Registrations& registrations);
// How this program gets the class when it creates it, in words: an
// in-process DLL (its bitness, its threading model) or an out-of-process
// server (its program and that program's bitness); empty when neither.
std::string Hosting(const Registrations& registrations);
// When this program cannot create the class, in words ("not installed", or
// the other bitness's hint); empty when it is registered for this program.
std::string MissingForThisProgram(const Registrations& registrations);
// The report the probe begins with.
void ReportRegistrations(const Registrations& registrations, std::FILE* out);

}  // namespace ostrana::comdnc
