// Whether a path on the virtual control's drive stays on it (no folder or
// file of the drive that is a link may lead a path elsewhere), and what is
// at its end. Asked at every cell access, so one file per platform does it
// the cheapest way its system has (DriveLinks_posix.cpp: one stat per name
// below the drive's folder, no link followed; DriveLinks_win32.cpp: the path
// resolved and compared). Any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ostrana::vc {

// What a path names. `stamp` and `size` tell a changed file from the one
// read before; they mean nothing unless `file` (a plain file is there).
struct DriveEntry {
  bool file = false;
  std::int64_t stamp = 0;
  std::uintmax_t size = 0;
};

// `parts` are the names below `root` (no "." or ".."); `canonicalRoot` is the
// root with its links resolved, taken when the drive was opened. nullopt when
// a link below `root` would lead the path elsewhere; a part that does not
// exist (a file about to be made) ends the check as passed.
std::optional<DriveEntry> LookOnDrive(const std::filesystem::path& root, const std::filesystem::path& canonicalRoot,
                                      const std::vector<std::string>& parts);

// The entry of a file just written.
DriveEntry EntryOf(const std::filesystem::path& file);

}  // namespace ostrana::vc
