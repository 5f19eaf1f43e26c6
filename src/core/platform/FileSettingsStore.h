// The settings in a file of the program's own format, read and written by
// the connector alone: the Linux program's settings file, and the file the
// Windows program keeps with --settings, so one file serves either program.
//
// One setting a line, "Name=value"; blanks around the name and the value do
// not count, and a value wholly in double quotes loses them (a path that
// begins or ends with a blank); nothing else in a value is special, so a
// path or an address is written as it is. A line that begins with '#' or ';'
// is a comment; a line in brackets ("[General]", which files of earlier
// versions begin with) is kept and means nothing; blank lines are kept. A
// name given twice: the last line counts. Lines end in LF or CR LF; a UTF-8
// byte-order mark at the start is passed over.
//   PortNumber, xTopLeft, yTopLeft, Mute   decimal whole numbers, written at exit
//   LogFile, ListenAddress                 text, read only
// A line that is none of these, or a value that does not parse, is named
// with its line number and not used (its default is, and the line is left as
// it is at exit).
//
// At exit the four values are written in place: the line that holds each
// gets the new value and keeps everything else, a missing one is added at
// the end, and every other byte of the file stays. The file is replaced
// whole through a new temporary file beside it and a rename (through a
// symbolic link, the file it names), and only when a value changed.
//
// Main thread only.
#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "platform/Settings.h"

namespace ostrana::platform {

class FileSettingsStore final : public SettingsStore {
 public:
  explicit FileSettingsStore(std::filesystem::path file) : file_(std::move(file)) {}
  Settings Load() const override;
  bool Save(const Settings& settings, std::string* why) const override;
  bool Writable(std::string* why) const override;
  std::string Location() const override;

 private:
  std::filesystem::path file_;
};

}  // namespace ostrana::platform
