#include "win32/ConsoleAnswers.h"

#include <windows.h>
#include <io.h>

#include <cstdio>

#include "common/Process.h"
#include "common/WideText.h"

namespace ostrana::win32 {

Answer ReadAnswer() {
  Answer answer;
  const HANDLE in = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin)));
  std::wstring wide;
  bool any = false, failed = false;
  DWORD mode = 0;
  if (GetConsoleMode(in, &mode)) {
    for (wchar_t c = 0;;) {
      DWORD got = 0;
      if (!ReadConsoleW(in, &c, 1, &got, nullptr) || got == 0) {
        failed = true;
        break;
      }
      any = true;
      if (c == L'\n') break;
      if (wide.size() <= kLongestAnswer + 1) wide += c;
    }
  } else {
    std::string bytes;
    for (char c = 0;;) {
      DWORD got = 0;
      if (!ReadFile(in, &c, 1, &got, nullptr) || got == 0) {
        failed = true;
        break;
      }
      any = true;
      if (c == '\n') break;
      if (bytes.size() <= 4 * (kLongestAnswer + 1)) bytes += c;  // room for the longest in UTF-8
    }
    const unsigned console = GetConsoleCP();
    wide = Wide(IsUtf8(bytes) ? bytes : Utf8FromCodePage(bytes, console ? console : CP_ACP));
  }
  if (!wide.empty() && wide.back() == L'\r') wide.pop_back();
  answer.ended = failed && !any;
  answer.tooLong = wide.size() > kLongestAnswer;
  if (!answer.tooLong) answer.text = Utf8(wide);
  return answer;
}

std::string Ask(const char* question, const std::string& offered) {
  auto say = [](const std::string& text) { WriteToStream(stdout, text.data(), text.size()); };
  for (;;) {
    say(std::string(question) + " [" + offered + "]: ");
    const Answer answer = ReadAnswer();
    if (answer.ended) {
      say("\n");
      return offered;
    }
    if (!answer.tooLong) return answer.text.empty() ? offered : answer.text;
    say("ostrana: that answer is longer than " + std::to_string(kLongestAnswer) +
        " characters and is not taken: give it again.\n");
  }
}

}  // namespace ostrana::win32
