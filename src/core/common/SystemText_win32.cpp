#include <windows.h>

#include "common/SystemText.h"

namespace ostrana {

std::string SystemText(unsigned long code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words = text ? text : "";
  if (text) LocalFree(text);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.' || words.back() == ' '))
    words.pop_back();
  return words.empty() ? "error " + std::to_string(code) : words + " (error " + std::to_string(code) + ")";
}

}  // namespace ostrana
