// The probe's answers as it reads them from a pipe standing in for the console.
#include <gtest/gtest.h>
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <array>
#include <string>

#include "win32/ConsoleAnswers.h"

using namespace ostrana::win32;

// Whole lines: one of 255 characters is taken, a longer one refused whole (its
// rest is not the next answer), UTF-8 read as such; an empty line and the
// input's end give the default.
TEST(ConsoleAnswers, WholeLinesTheTooLongRefused) {
  HANDLE read = nullptr, write = nullptr;
  ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 1 << 16));
  const std::string input = std::string(255, 'y') + "\n" + std::string(256, 'x') + "9\r\nMaschine-\xC3\x9C\r\n\n";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(write, input.data(), static_cast<DWORD>(input.size()), &written, nullptr));
  CloseHandle(write);
  const int saved = _dup(0);
  ASSERT_EQ(_dup2(_open_osfhandle(reinterpret_cast<intptr_t>(read), _O_RDONLY | _O_BINARY), 0), 0);
  const std::array<std::string, 4> answers{Ask("text", "a"), Ask("text", "b"), Ask("number", "0"), Ask("key", "e")};
  _dup2(saved, 0);
  EXPECT_EQ(answers, (std::array<std::string, 4>{std::string(255, 'y'), "Maschine-\xC3\x9C", "0", "e"}));
}
