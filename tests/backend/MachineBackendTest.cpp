// The virtual control's drive lock: one lock a drive however its folder is
// named and whatever lies above it, free again when its run ends; a run that
// cannot have the lock does not start, naming the lock file and the reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "backend/MachineBackend.h"
#include "common/Process.h"
#include "support/TestSupport.h"

using namespace ostrana;
namespace fs = std::filesystem;

TEST(DriveLock, OneLockADriveAndARefusalThatSaysWhy) {
  // What lies where below the test's folder (`file` held open with a stale
  // number in it; `link` a link to `target`), and the drive as two runs name
  // it (without a second, the first is refused for `reason`, in POSIX words).
  struct Road {
    const char *folder, *file, *link, *target, *first, *second, *reason;
  };
  const std::string longName(251, 'n');  // with ".lock" added, past the file-name limit
  const Road roads[] = {
      // 0: a link where the lock lies; 1: a folder there; 2: the drive below a file
      {"tnc", nullptr, "tnc/.ostrana.lock", "elsewhere", "tnc", nullptr, "Too many levels of symbolic links"},
      {"tnc/.ostrana.lock", nullptr, nullptr, nullptr, "tnc", nullptr, "Is a directory"},
      {nullptr, "file", nullptr, nullptr, "file/tnc", nullptr, "Not a directory"},
      // 3: DIR and DIR/.; 4: DIR/ and DIR; 5: a linked folder and DIR; 6: below a read-only folder
      {"tnc", nullptr, nullptr, nullptr, "tnc", "tnc/.", nullptr},
      {"tnc", nullptr, nullptr, nullptr, "tnc/", "tnc", nullptr},
      {"tnc", nullptr, "link", "tnc", "link", "tnc", nullptr},
      {"above/tnc", nullptr, nullptr, nullptr, "above/tnc", "above/tnc", nullptr},
  // 7: the lock file held open by another program (a backup tool): on
  // Windows a refusal that names no connector; POSIX locks are no opens
#ifdef _WIN32
      {"tnc", "tnc/.ostrana.lock", nullptr, nullptr, "tnc", nullptr, nullptr},
#else
      {"tnc", "tnc/.ostrana.lock", nullptr, nullptr, "tnc", "tnc", nullptr},
      // 8: a folder named near the file-name limit (Windows' A calls end at
      // 260 characters of the whole path)
      {longName.c_str(), nullptr, nullptr, nullptr, longName.c_str(), longName.c_str(), nullptr},
#endif
  };
  // (A lock file the user cannot write is no row: root, who runs the tests
  // in CI, writes any file; the folder in its place stands for it.)
  for (const Road& road : roads) {
    SCOPED_TRACE("road " + std::to_string(&road - roads));
    test::TempDir dir;
    test::ScriptedPrompts prompts;
    const auto start = [&](const char* drive, run::Machine& machine) {
      run::Options options;
      options.tncRoot = (dir.path() / drive).string();
      return backend::SetUpMachine()(options, prompts, machine);
    };
    if (road.folder) fs::create_directories(dir.path() / road.folder);
    std::ofstream held = road.file ? std::ofstream(dir.path() / road.file) : std::ofstream();
    held << "4242" << std::flush;
    std::error_code linkError, ignored;  // Windows makes links only with a privilege
    if (road.link) fs::create_directory_symlink(dir.path() / road.target, dir.path() / road.link, linkError);
    if (linkError) continue;
    fs::permissions(dir.path() / "above", fs::perms::owner_read | fs::perms::owner_exec, ignored);  // read-only
    run::Machine first, second;
    const bool started = start(road.first, first);
    if (started) first.listening(50123);  // its lock names the port it listens on
    EXPECT_TRUE(road.second ? started && !start(road.second, second) : !started);
    EXPECT_EQ(prompts.messages.size(), 1u);
    const std::string said = prompts.messages.empty() ? "" : prompts.messages[0].text;
    const std::string connector = "is already running on the TNC drive folder " +
                                  (dir.path() / (road.second ? road.second : "")).string() + " (process " +
                                  std::to_string(CurrentProcessId()) + "), listening on port 50123";
    const auto lockFile = fs::weakly_canonical(dir.path() / road.first) / ".ostrana.lock";
    EXPECT_NE(said.find(road.second ? connector : "cannot be locked for this run: " + lockFile.string()),
              std::string::npos)
        << said;
#ifndef _WIN32
    EXPECT_NE(said.find(road.second ? "" : road.reason), std::string::npos) << said;
#endif
    first = {};  // gone with its run
    EXPECT_TRUE(!road.second || start(road.second, second));
    fs::permissions(dir.path() / "above", fs::perms::owner_all, ignored);
  }
}
