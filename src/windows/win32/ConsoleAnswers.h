// Answers typed at the console (the Start menu's probe asks for the
// connection data there), read whole, line by line, as the program's UTF-8:
// from a console as the wide text typed, whatever its code page; from a pipe
// or a file as bytes, taken as UTF-8 when they are, otherwise in the
// console's code page (the ANSI one without a console). A line longer than
// kLongestAnswer characters is read to its end and refused, so its rest
// never becomes the next answer. Main thread.
#pragma once

#include <cstddef>
#include <string>

namespace ostrana::win32 {

inline constexpr std::size_t kLongestAnswer = 255;

struct Answer {
  bool ended = false;    // nothing more to read
  bool tooLong = false;  // refused: over kLongestAnswer characters
  std::string text;      // UTF-8, without its line's end
};

// One line of the standard input.
Answer ReadAnswer();

// Asks `question` on the standard output and reads the answer: `offered`
// when it is left empty or the input has ended; a line too long is refused
// with a message and asked again.
std::string Ask(const char* question, const std::string& offered);

}  // namespace ostrana::win32
