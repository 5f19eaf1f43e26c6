#include "support/TestSupport.h"

#include <fstream>
#include <iterator>

#include "common/Process.h"

#include <atomic>

namespace ostrana::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  // A folder an earlier process of the same number left (killed, its tables read-only) is passed over.
  do
    path_ = std::filesystem::temp_directory_path() /
            ("ostrana-test-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter++));
  while (!std::filesystem::create_directories(path_));
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::filesystem::path TemplateFile() {
  return std::filesystem::path(OSTRANA_SOURCE_DIR) / "res" / "Quorvane_Relavio.TAB";
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

}  // namespace ostrana::test
