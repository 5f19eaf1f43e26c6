// The names under which the DNC component's operations are called late-bound
// (IDispatch::GetIDsOfNames), as data in one table: the component's method
// names are not in the description the connector is built from, only the
// operations in slot order. A file beside the executable, dnc-names.txt,
// may correct any of them without a rebuild, one "Interface.Operation = Name"
// per line ("#" starts a comment). A name may list alternatives separated by
// commas, tried in order; "#N" means the interface's N-th operation in slot
// order, found through the component's type information.
//
// Threads: loaded once on the main thread before the machine is created;
// read-only afterwards, from any thread.
#pragma once

#include <string>
#include <vector>

namespace ostrana::comdnc {

struct OperationName {
  std::string interfaceName;  // "IJHFileSystem"
  std::string operation;      // "LookUpFile": the connector's own name for it
  int slot = 0;               // its place among the interface's operations, from 1
  std::vector<std::string> names;  // what to call it, in order of trial
};

class DispatchNames {
 public:
  // The built-in table: the names public material shows.
  DispatchNames();
  // Applies the corrections of a dnc-names.txt text. A line that names no
  // known operation, or has no "=", is reported in `problems` and skipped.
  void Apply(const std::string& text, std::vector<std::string>* problems);
  // Reads `file` when it exists and applies it.
  void ApplyFile(const std::string& file, std::vector<std::string>* problems);

  const OperationName& Get(const std::string& interfaceName, const std::string& operation) const;
  const std::vector<OperationName>& All() const { return table_; }

 private:
  std::vector<OperationName> table_;
};

// "Name" or "#3" as written in the table: true and the slot for "#N".
bool IsSlotName(const std::string& name, int* slot);

}  // namespace ostrana::comdnc
