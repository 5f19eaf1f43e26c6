// ostrana-client --decode on arbitrary answer lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/Answers.h"

using namespace ostrana::protocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  if (auto decoded = DecodeAnswer(line)) {
    if (FormatDecoded(*decoded).rfind(decoded->kind + ":", 0) != 0) std::abort();
  }
  MeasureId(line);
  IsWellFormedReply(line);
  return 0;
}
