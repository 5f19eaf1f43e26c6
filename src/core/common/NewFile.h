// A file that did not exist before, created and written in one go: the
// creation fails when anything (a file, a link planted by someone else) is
// already at the path, so the write can never land elsewhere. For the
// temporary files of atomic replacement. One implementation per platform
// (NewFile_posix.cpp, NewFile_win32.cpp). Any thread.
#pragma once

#include <filesystem>
#include <string>

namespace ostrana {

// False (with the system's reason) when the file cannot be made or written;
// a file half written is removed again.
bool WriteNewFile(const std::string& path, const std::string& text, std::string* why);

// A name no one else picks: 16 random hexadecimal digits.
std::string RandomName();

// Replaces `file` whole with `text`: written as a new file
// ".<name>.ostrana-<RandomName>.tmp" beside it, given the permissions the
// file had, then renamed over it; a reader sees the old file or the new one,
// never a part. False (with the system's reason) when it could not be done:
// the file is then as it was.
bool ReplaceFile(const std::filesystem::path& file, const std::string& text, std::string* why);

}  // namespace ostrana
