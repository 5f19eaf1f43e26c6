// The NC console's line parser on arbitrary lines against a virtual control:
// one answer line, "ok..." or "error ...".
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ncsim/NcConsole.h"

using namespace ostrana::vc;
using namespace ostrana::ncsim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("ostrana-fuzz-nc-" + std::to_string(::getpid()));
  static VirtualControl* control = [] {
    auto* c = new VirtualControl(root);
    std::filesystem::create_directories(root / "Quorvane");
    std::filesystem::copy_file(OSTRANA_TEMPLATE, root / "Quorvane" / "Quorvane_Relavio.TAB",
                               std::filesystem::copy_options::overwrite_existing);
    return c;
  }();
  static NcProgram* program = new NcProgram(*control);
  std::string line(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 512));
  const auto newline = line.find('\n');
  if (newline != std::string::npos) line.resize(newline);
  const std::string answer = ExecuteNcLine(*program, *control, line);
  if (answer.find('\n') != std::string::npos) std::abort();
  if (answer.rfind("ok", 0) != 0 && answer.rfind("error ", 0) != 0) std::abort();
  control->SetLatency(std::chrono::microseconds(0));  // "delay" would only slow the fuzzer
  return 0;
}
