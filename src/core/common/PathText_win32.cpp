#include <windows.h>

#include "common/PathText.h"
#include "common/WideText.h"

namespace ostrana {
namespace {

std::wstring ToWide(const std::string& text, unsigned codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string FromWide(const wchar_t* wide, std::size_t count, unsigned codePage) {
  if (!count) return {};
  const int size = static_cast<int>(count);
  const int length = WideCharToMultiByte(codePage, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) WideCharToMultiByte(codePage, 0, wide, size, text.data(), length, nullptr, nullptr);
  return text;
}

}  // namespace

std::wstring Wide(const std::string& utf8) { return ToWide(utf8, CP_UTF8); }
std::string Utf8(const std::wstring& wide) { return FromWide(wide.data(), wide.size(), CP_UTF8); }
std::string Utf8(const wchar_t* wide, std::size_t size) { return FromWide(wide, size, CP_UTF8); }
std::string Utf8FromCodePage(const std::string& text, unsigned codePage) {
  const std::wstring wide = ToWide(text, codePage);
  return FromWide(wide.data(), wide.size(), CP_UTF8);
}
std::string CodePageFromUtf8(const std::string& utf8, unsigned codePage) {
  const std::wstring wide = ToWide(utf8, CP_UTF8);
  return FromWide(wide.data(), wide.size(), codePage);
}

bool IsUtf8(const std::string& text) {
  return text.empty() ||
         MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0) > 0;
}

std::string ProgramFile() {
  for (std::wstring path(MAX_PATH, L'\0');; path.resize(path.size() * 2)) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return Utf8(path.data(), length);  // otherwise cut short: a larger buffer
  }
}

// Never a path from a narrow string directly: the library reads its bytes as
// Latin-1, not as UTF-8. A text that is no UTF-8 came from a file saved in the
// ANSI code page (an older editor's default), so it is read in that page: the
// folder it names is the one the user sees.
std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(ToWide(utf8, IsUtf8(utf8) ? CP_UTF8 : CP_ACP));
}
std::string TextOf(const std::filesystem::path& path) { return Utf8(path.native()); }

}  // namespace ostrana
