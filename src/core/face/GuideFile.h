// Which guide the window's Help opens: the one this run actually has, looked
// for from the folder the program lies in. Both toolkits' windows ask it.
// Any thread (it only looks at files).
#pragma once

#include <string>

namespace ostrana::face {

// The first of these that exists, else "":
//   <programDir>/<page>                     beside the program (the Windows installer puts it there)
//   <programDir>/../doc/<page>              a build's (the program in bin/, the guide in doc/)
//   <programDir>/../../share/doc/ostrana/<page>  the package's (the program in /usr/lib/ostrana/)
//   <installedDoc>/<page>                   the installed package's, for a run from a build
//                                           ("" where there is none)
//   <programDir>/../../README.md            the source tree's, for a build folder at its top
std::string GuideFile(const std::string& programDir, const std::string& page, const std::string& installedDoc);

}  // namespace ostrana::face
