// The .TAB reader: whatever it accepts, it writes back in a form it reads as
// the same table, and writing that again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vc/TabTable.h"

using ostrana::vc::TabTable;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  auto table = TabTable::Parse(text);
  if (!table) return 0;
  const std::string once = table->Serialize();
  auto again = TabTable::Parse(once);
  if (!again || again->RowCount() > table->RowCount() || again->Columns() != table->Columns()) std::abort();
  if (again->Serialize() != once) std::abort();
  return 0;
}
