// Whether a folder the connector writes into (the settings' folder, the
// virtual control's drive, the log's) can be used. Any thread.
#pragma once

#include <string>

namespace ostrana {

// Whether files can be made in `folder` (created when missing); when not,
// `why` holds the system's reason.
bool UsableFolder(const std::string& folder, std::string* why);

}  // namespace ostrana
