// The two argument parsers and the argument extraction on arbitrary text.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/ArgumentParsers.h"
#include "protocol/Dispatcher.h"

using namespace ostrana::protocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ConnectionParse connection = ParseConnectionFields(text);
  // Accepted data has four fields: three commas at least.
  if (connection.refusal == ConnectionRefusal::None &&
      (std::count(text.begin(), text.end(), ',') < 3 || connection.data.baseRow < 0))
    std::abort();

  for (const char* form : {"Machine Connect: ", "Set Alarm: ", "Set WCS: "}) {
    const Argument argument = ExtractArgument(text, form);
    if (argument.text.find('\n') != std::string::npos) std::abort();
    if (!argument.terminated && !argument.text.empty()) std::abort();
    if (auto code = AlarmCode(argument); code && (*code < 1 || *code > 4 || !argument.terminated)) std::abort();
    if (auto values = ParseWcsFields(argument)) {
      for (double v : *values)
        if (!std::isfinite(v) || std::fabs(v) > 214748.3648) std::abort();
    }
  }
  return 0;
}
