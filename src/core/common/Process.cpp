#include "common/Process.h"

namespace ostrana {

bool WriteToStream(std::FILE* stream, const char* data, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const long n = WriteSome(stream, data + done, size - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace ostrana
