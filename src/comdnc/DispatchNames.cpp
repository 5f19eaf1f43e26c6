#include "comdnc/DispatchNames.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ostrana::comdnc {
namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> SplitNames(const std::string& text) {
  std::vector<std::string> names;
  std::istringstream in(text);
  for (std::string name; std::getline(in, name, ',');)
    if (!Trim(name).empty()) names.push_back(Trim(name));
  return names;
}

}  // namespace

DispatchNames::DispatchNames()
    : table_{
          {"IJHMachine", "Disconnect", 1, {"Disconnect"}},
          {"IJHMachine", "GetInterfaceObject", 2, {"GetInterface"}},
          {"IJHMachine", "GetState", 3, {"GetState"}},
          {"IJHMachine", "ConnectionRequest", 4, {"ConnectRequest3"}},
          {"IJHConnection2", "Configure", 1, {"Configure"}},
          {"IJHConnection2", "SetProperty", 2, {"propertyValue"}},
          // Newer versions of the interface show GetDataEntry2 with the same arguments.
          {"IJHDataAccess", "GetDataEntry", 1, {"GetDataEntry", "GetDataEntry2"}},
          {"IJHDataEntry", "GetValue", 1, {"GetPropertyValue"}},
          {"IJHDataEntry", "SetValue", 2, {"SetPropertyValue"}},
          {"IJHFileSystem", "SelectDirectory", 1, {"ChangeDirectory"}},
          {"IJHFileSystem", "MakeDirectory", 2, {"MakeDirectory"}},
          // No public name: the third operation, by the component's type information.
          {"IJHFileSystem", "LookUpFile", 3, {"#3"}},
          {"IJHFileSystem", "TransmitFile", 4, {"TransmitFile"}},
      } {}

void DispatchNames::Apply(const std::string& text, std::vector<std::string>* problems) {
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const auto equals = line.find('=');
    const auto dot = line.find('.');
    bool applied = false;
    if (equals != std::string::npos && dot != std::string::npos && dot < equals) {
      const std::string interfaceName = Trim(line.substr(0, dot));
      const std::string operation = Trim(line.substr(dot + 1, equals - dot - 1));
      const auto names = SplitNames(line.substr(equals + 1));
      for (auto& entry : table_)
        if (entry.interfaceName == interfaceName && entry.operation == operation && !names.empty()) {
          entry.names = names;
          applied = true;
        }
    }
    if (!applied && problems)
      problems->push_back("line " + std::to_string(number) + ": \"" + line +
                          "\" names no operation (write Interface.Operation = Name)");
  }
}

void DispatchNames::ApplyFile(const std::string& file, std::vector<std::string>* problems) {
  std::ifstream in(file);
  if (!in) return;
  std::ostringstream text;
  text << in.rdbuf();
  Apply(text.str(), problems);
}

const OperationName& DispatchNames::Get(const std::string& interfaceName, const std::string& operation) const {
  for (const auto& entry : table_)
    if (entry.interfaceName == interfaceName && entry.operation == operation) return entry;
  throw std::logic_error("no such DNC operation: " + interfaceName + "." + operation);
}

bool IsSlotName(const std::string& name, int* slot) {
  if (name.size() < 2 || name[0] != '#') return false;
  int value = 0;
  const auto [end, error] = std::from_chars(name.data() + 1, name.data() + name.size(), value);
  if (error != std::errc() || end != name.data() + name.size() || value < 1) return false;
  *slot = value;
  return true;
}

}  // namespace ostrana::comdnc
