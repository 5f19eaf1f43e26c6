// The systemd journal as the event log's second sink, at the socket where
// sd_journal_send writes: the events read back with their fields (a line
// feed in a value too, a client's escape escaped), a repeat within its
// second once, then with its count; a journal that is absent, or does not
// read (full from the start), costs one line in the file, and the run does
// not wait for it. The journal is used when it reads
// our stderr, or when asked. The guide lists the events as they are.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <optional>

#include "common/EventLog.h"
#include "support/JournalReceiver.h"
#include "support/TestSupport.h"

using namespace ostrana;

TEST(PlatformLog, TheJournalReadsTheFieldsBackAndOneThatRefusesCostsOneLine) {
  struct stat err {};
  ASSERT_EQ(fstat(2, &err), 0);
  for (const std::string& stream : {std::string("1:2"), std::to_string(err.st_dev) + ":" + std::to_string(err.st_ino)}) {
    setenv("JOURNAL_STREAM", stream.c_str(), 1);
    EXPECT_EQ(OpenPlatformSink({}) != nullptr, stream != "1:2");
  }
  unsetenv("JOURNAL_STREAM");
  // The guide's table is this one: a shop's filters are written from it.
  const std::string guide = test::ReadText(std::filesystem::path(OSTRANA_SOURCE_DIR) / "docs" / "guide.md");
  for (const EventInfo& e : kEvents)
    EXPECT_NE(guide.find("| " + std::to_string(static_cast<int>(e.id)) + " | " + std::string(KindName(e.kind)) + " (" +
                         std::to_string(CategoryOf(e.kind)) + ") | " + e.description + " |"),
              std::string::npos)
        << e.name;
  std::string why;
  if (!test::JournalReceiver::Isolate(&why)) GTEST_SKIP() << why;
  enum Journal { Reading, NotReading, Absent };
  for (const Journal kind : {Reading, NotReading, Absent}) {
    test::TempDir dir;
    std::optional<test::JournalReceiver> journal;
    if (kind != Absent) journal.emplace(kind == Reading);
    // Not reading, and full before the first entry: the library's socket blocks then.
    const int filler = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    for (sockaddr_un to{AF_UNIX, "/run/systemd/journal/socket"};
         kind == NotReading && sendto(filler, "X=1", 3, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) == 3;) {
    }
    close(filler);
    std::atomic<long> ms{0};
    const auto start = std::chrono::floor<std::chrono::minutes>(std::chrono::system_clock::now());
    EventLog log;
    log.SetClock([&] { return start + std::chrono::milliseconds(ms.load()); });
    log.SetPlatformSink(OpenPlatformSink({.journal = true}));
    log.OpenHeld(dir.str() + "/ostrana.log", false);  // a refusal while the file waits is kept for it
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < 40; ++i)  // more than a journal that does not read has room for
      log.Write(LogLevel::Audit, "command", "WCS " + std::to_string(i),
                LogEvent(EventId::CommandNotWritten).Values("1,2\n3\x1b[2J").Result(false).Reason("a command is waiting"));
    log.Keep();
    for (ms = 0; ms <= 200; ms += 100) log.Write(LogLevel::Warning, "mailbox", "lost", LogEvent(EventId::MachineLost));
    log.Close();  // the count of "lost" goes on a line of its own
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1)) << kind;
    const std::string file = test::ReadText(dir.path() / "ostrana.log");
    EXPECT_EQ(file.find("WARN  log: the systemd journal refused an event (") != std::string::npos, kind != Reading);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 42 + (kind != Reading)) << file;
    if (kind != Reading) continue;
    EXPECT_TRUE(test::WaitUntil([&] { return journal->Where("SYSLOG_IDENTIFIER", "ostrana").size() == 42; }));
    const auto audit = journal->Where("OSTRANA_KIND", "audit");
    ASSERT_EQ(audit.size(), 40u);
    // The rest of an audit entry's fields: the connector's own test, through a whole run.
    EXPECT_EQ(audit[7].at("MESSAGE") + "|" + audit[7].at("OSTRANA_VALUES"), "command: WCS 7|1,2\n3\\x1B[2J");
    const auto lost = journal->Where("OSTRANA_ID", "303");
    ASSERT_EQ(lost.size(), 2u);
    EXPECT_EQ(std::tuple(lost[0].count("OSTRANA_REPEATS"), lost[1].at("OSTRANA_REPEATS"),
                         lost[1].at("MESSAGE").substr(0, 28)),
              std::tuple(0u, "2", "mailbox: lost (2 times from "));
  }
}
