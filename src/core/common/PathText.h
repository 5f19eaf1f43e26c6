// Paths as text, one rule on both platforms: a path held in a std::string is
// UTF-8 (on Linux the file system's bytes as they are). A std::filesystem::path
// is made from such a text, and turned back into one, only through these two:
// on Windows they convert to and from the wide (UTF-16) names the W functions
// take, so a folder named "Übertragung" or "Jürgen" is the same folder however
// it reached the program. Neither throws. On Windows a text that is no UTF-8
// (a settings file saved in the ANSI code page) is read in the ANSI code page,
// so "\xDCbertragung" names the same folder as "Übertragung". One
// implementation per platform (PathText_posix.cpp, PathText_win32.cpp). Any
// thread.
#pragma once

#include <filesystem>
#include <string>

namespace ostrana {

std::filesystem::path PathOf(const std::string& utf8);
std::string TextOf(const std::filesystem::path& path);

}  // namespace ostrana
