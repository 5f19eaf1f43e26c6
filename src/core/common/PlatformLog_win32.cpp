// The Windows Application log's sink (to come): until then the events stay in the file log.
#include "common/PlatformLog.h"

namespace ostrana {

std::unique_ptr<PlatformSink> OpenPlatformSink(const PlatformLogChoice&) { return nullptr; }

}  // namespace ostrana
