// The event log's files: rotation at the size limit, repeats counted, the
// audit file, the local time, and places that fight back. (A log that cannot
// be written at all is said once and harms nothing: the headless run's
// unusable places.)
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/Console.h"
#include "common/EventLog.h"
#include "support/TestSupport.h"

using namespace ostrana;
namespace fs = std::filesystem;

// Rotation keeps the newest generations, and the sizes add up to the byte: a
// file ends when the next line would pass its limit, not at it; a line longer
// than a file is written alone and starts no empty generation; the mirror
// shows every line whole.
TEST(EventLog, RotatesAtTheSizeLimitKeepingTheNewestGenerations) {
  test::TempDir dir;
  const std::string file = (dir.path() / "ostrana.log").string();
  const std::size_t line = std::string("2026-12-07 16:42:51.478 k3f9 INFO  test: line 1\n").size();
  EventLog log;
  testing::internal::CaptureStderr();
  log.Open(file, true, {/*fileBytes=*/2 * line, /*files=*/3, /*queuedLines=*/100});
  log.Write(LogLevel::Info, "test", std::string(3 * line, 'x'));
  EXPECT_TRUE(log.Drain(std::chrono::seconds(10)) && !fs::exists(file + ".1"));  // written alone, nothing rotated
  for (int i = 1; i <= 4; ++i) log.Write(LogLevel::Info, "test", "line " + std::to_string(i));
  log.Close();
  console::Drain(std::chrono::seconds(10));
  const std::string mirrored = testing::internal::GetCapturedStderr();
  const std::string newest = test::ReadText(file);  // and three files in all
  EXPECT_EQ(std::tuple(test::ReadText(file + ".2").find(": xxx"), test::ReadText(file + ".1").find("line 2\n"),
                       newest.size(), newest.find("line 4\n"), fs::exists(file + ".3")),
            std::tuple(39u, line + 41, 2 * line, line + 41, false));
  EXPECT_NE(mirrored.find(" INFO  test: line 4\n"), std::string::npos) << mirrored;
}

// A line again within a second (a minute, when its writer asks) is counted,
// not written: the count goes with the next one, or on a line of its own
// within a minute. The AUDIT lines also go to the audit file, which keeps
// them while the log rotates them away.
TEST(EventLog, RepeatsAreCountedAndTheAuditOutlivesTheLogsRotations) {
  test::TempDir dir;
  const std::string file = (dir.path() / "ostrana.log").string();
  std::atomic<long> ms{0};
  const auto minute = std::chrono::floor<std::chrono::minutes>(std::chrono::system_clock::now());
  EventLog log;
  log.SetClock([&] { return minute + std::chrono::milliseconds(ms.load()); });
  log.Open(file, false, {/*fileBytes=*/2000, /*files=*/2, /*queuedLines=*/100000});
  for (ms = 0; ms <= 1500; ms += 100) log.Write(LogLevel::Audit, "signal", "1 answered");
  for (ms = 2000; ms < 32000; ms += 100) log.Write(LogLevel::Audit, "alarm", "value 2", std::chrono::minutes(1));
  for (int i = 0; i < 200; ++i) log.Write(LogLevel::Info, "test", "line " + std::to_string(i));
  ms = 70000;
  log.Write(LogLevel::Info, "test", "the end");
  log.Close();
  const std::string audit = test::ReadText(dir.path() / "ostrana-audit.log");
  EXPECT_EQ(std::count(audit.begin(), audit.end(), '\n'), 5) << audit;
  for (const char* kept :
       {"AUDIT signal: 1 answered\n", "AUDIT signal: 1 answered \\(and 9 times more since ..:..:00.100\\)\n",
        "AUDIT alarm: value 2\n", "AUDIT signal: 1 answered \\(5 times from ..:..:01.100 to ..:..:01.500\\)\n",
        "AUDIT alarm: value 2 \\(299 times from ..:..:02.100 to ..:..:31.900\\)\n"})
    EXPECT_TRUE(std::regex_search(audit, std::regex(kept))) << kept << "\n" << audit;
  EXPECT_EQ((test::ReadText(file + ".1") + test::ReadText(file)).find("AUDIT alarm: value 2\n"), std::string::npos);
  EXPECT_NE(test::ReadText(file).find("alarm: value 2 (299 times"), std::string::npos);  // the log keeps them too
}

// The time stamp is the local time (here three hours east of UTC).
TEST(EventLog, StampsTheLocalTime) {
#ifdef _WIN32
  _putenv_s("TZ", "XYZ-3");
  _tzset();
#else
  setenv("TZ", "XYZ-3", 1);
  tzset();
#endif
  test::TempDir dir;
  const std::string file = (dir.path() / "ostrana.log").string();
  EventLog log;
  log.Open(file, false);
  auto minute = [](std::time_t t) {
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", std::localtime(&t));
    return std::string(text);
  };
  const std::time_t before = std::time(nullptr);
  log.Write(LogLevel::Info, "test", "now");
  log.Close();
  const std::string stamp = test::ReadText(file).substr(0, 16);
  EXPECT_TRUE(stamp == minute(before) || stamp == minute(before + 60)) << stamp << " " << minute(before);
}

#ifndef _WIN32
// Hostile places: a FIFO nobody reads, a device, a full disk that comes back
// (or does not), a second connector on the same file (or a lock that cannot
// be had), a rotation that cannot rename. Every line is kept whole or
// counted, and nothing waits for ever.
TEST(EventLog, NothingIsLostWithoutATraceAndNothingBlocks) {
  test::TempDir dir;
  const auto path = [&](const std::string& name) { return (dir.path() / name).string(); };
  const std::string pid = std::to_string(getpid()), own = path("ostrana-" + pid + ".log");
  ASSERT_EQ(mkfifo(path("fifo.log").c_str(), 0600), 0);
  EventLog().Open(path("fifo.log"), false);  // closed at once: had the writer waited for a reader, it would never end

  // A device is written, never rotated; a full one is said and its lines counted.
  fs::create_symlink("/dev/null", path("null.log"));
  fs::create_symlink("/dev/full", path("full.log"));
  for (const char* name : {"null.log", "full.log"}) {
    EventLog device;
    device.Open(path(name), false, {/*fileBytes=*/1000, /*files=*/3, /*queuedLines=*/100000});
    for (int i = 0; i < 3000; ++i) device.Write(LogLevel::Info, "test", "line " + std::to_string(i));
    ASSERT_TRUE(device.Drain(std::chrono::seconds(30)));
    EXPECT_TRUE(fs::is_symlink(path(name)) && !fs::exists(path(name) + ".1"));  // written, never rotated
    if (std::string(name) == "full.log") {
      fs::remove(path(name));  // the disk has room again: the file at the path is a new one
      device.Write(LogLevel::Info, "test", "after");
      device.Close();
      EXPECT_NE(test::ReadText(path(name)).find(" 3000 lines were not kept: the log could not be written (No space left"),
                std::string::npos);
    }
  }

  // A second connector on one file writes a file of its own (and an audit
  // file of its own) and says so; the first one's rotations do not touch it.
  EventLog first, second;
  first.Open(path("shared.log"), false, {/*fileBytes=*/500, /*files=*/2, /*queuedLines=*/100000});
  first.Write(LogLevel::Info, "test", "the first is there");
  ASSERT_TRUE(first.Drain(std::chrono::seconds(10)));
  second.Open(path("shared.log"), false);
  second.Write(LogLevel::Audit, "test", "from the second");
  for (int i = 0; i < 100; ++i) first.Write(LogLevel::Info, "test", "from the first " + std::to_string(i));
  second.Close();
  first.Close();
  const std::string kept = test::ReadText(own);
  EXPECT_NE(kept.find("WARN  log: the log " + path("shared.log") + " is in use by another connector (process " + pid +
                      "): this run writes "),
            std::string::npos)
      << kept;
  EXPECT_NE(kept.find("AUDIT test: from the second"), std::string::npos);
  // Its audit file goes with the log it writes: the lock holds both.
  EXPECT_NE(test::ReadText(path("ostrana-" + pid + "-audit.log")).find("from the second"), std::string::npos);
  EXPECT_FALSE(fs::exists(path("shared-audit.log")));
  // A lock that cannot be had (a folder, a link at its name) is no reason to share the file either.
  fs::create_directory(path("dir.log.lock"));
  fs::create_symlink(path("elsewhere"), path("link.log.lock"));
  for (const char* name : {"dir.log", "link.log"}) {
    EventLog().Open(path(name), false);  // closed at once: its notice is all it writes
    EXPECT_NE(test::ReadText(own).find("the log's lock " + path(name) + ".lock cannot be had ("), std::string::npos);
  }

  // A disk still full when the run ends: the count is said then. A log that
  // cannot be renamed at a rotation (a folder where its older generation
  // goes) stays within its size, says what was lost (on stderr once), and
  // rotates again once it can.
  fs::create_symlink("/dev/full", path("still-full.log"));
  fs::create_directory(path("stuck.log.1"));
  testing::internal::CaptureStderr();
  EventLog full, stuck;
  full.Open(path("still-full.log"), false);
  stuck.Open(path("stuck.log"), false, {/*fileBytes=*/400, /*files=*/2, /*queuedLines=*/1000});
  for (int i = 0; i < 30; ++i) full.Write(LogLevel::Info, "test", "line " + std::to_string(i));
  for (int i = 0; i < 30; ++i) stuck.Write(LogLevel::Info, "test", "line " + std::to_string(i));
  full.Close();
  EXPECT_TRUE(stuck.Drain(std::chrono::seconds(30)) && fs::file_size(path("stuck.log")) <= 400u);  // within its size
  EXPECT_NE(test::ReadText(path("stuck.log")).find(" could not be rotated (Is a directory): the "), std::string::npos);
  fs::remove(path("stuck.log.1"));
  for (int i = 0; i < 10; ++i) stuck.Write(LogLevel::Info, "test", "again " + std::to_string(i));
  stuck.Close();
  console::Drain(std::chrono::seconds(10));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("still-full.log: 30 lines were not kept: the log could not be written (No space"), std::string::npos);
  EXPECT_EQ(said.find("could not be rotated"), said.rfind("could not be rotated")) << said;
  EXPECT_TRUE(fs::is_regular_file(path("stuck.log.1")));
}
#endif

// One line for every reader: what steers a terminal or splits a line is
// escaped, UTF-8 text is not, and a typed backslash never reads as an escape.
TEST(EventLog, PrintableEscapesWhatSteersATerminalOrSplitsALine) {
  const std::pair<const char*, const char*> cases[] = {
      {"a\nb\tc\x1B[31m\x7F", "a b\\x09c\\x1B[31m\\x7F"},
      {"\xC2\x9B" "2J \xC2\x85 \xE2\x80\xA8|\xE2\x80\xA9", "\\xC2\\x9B2J \\xC2\\x85 \\xE2\\x80\\xA8|\\xE2\\x80\\xA9"},
      {"\x9B" "2J \xE9t\xC3\xA9 \xC0\xAF \xED\xA0\x80", "\\x9B2J \\xE9t\xC3\xA9 \\xC0\\xAF \\xED\\xA0\\x80"},
      {"typed \\x1B, \\\\ and C:\\Users\\ok\\", "typed \\\\x1B, \\\\\\ and C:\\Users\\ok\\"},
      {"\\\x1B \xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\xA0", "\\\\\\x1B \xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\xA0"},
  };
  for (const auto& [text, printed] : cases) {
    EXPECT_EQ(Printable(text), printed) << text;
    std::string back = text;  // read back, the line feed as the blank it became
    std::replace(back.begin(), back.end(), '\n', ' ');
    EXPECT_EQ(FromPrintable(printed), back) << printed;
  }
}
