// Whether a path on the virtual control's drive stays on it: no folder or
// file of the drive that is a link may lead a path elsewhere. Asked at every
// access, so one file per platform does it the cheapest way its system has
// (DriveLinks_posix.cpp: a walk with O_NOFOLLOW below the drive's folder,
// no link followed; DriveLinks_win32.cpp: the path resolved and compared).
// Any thread.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ostrana::vc {

// `parts` are the names below `root` (no "." or ".."); `canonicalRoot` is the
// root with its links resolved, taken when the drive was opened. A part that
// does not exist (a file about to be made) ends the check as passed.
bool StaysOnDrive(const std::filesystem::path& root, const std::filesystem::path& canonicalRoot,
                  const std::vector<std::string>& parts);

}  // namespace ostrana::vc
