// The platform's log as the event log's second sink: the events reach it
// from the writer thread, repeats folded with their count; a service that
// refuses costs one line in the file; the file's lines are the same with a
// sink as without; the mirror leaves out what a journal already keeps.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "common/Console.h"
#include "common/EventLog.h"
#include "support/TestSupport.h"
#ifndef _WIN32
#include "support/JournalReceiver.h"
#endif

using namespace ostrana;

namespace {

struct Seen {
  std::vector<PlatformEntry> entries;
  std::vector<std::thread::id> threads;
};

class TestSink final : public PlatformSink {
 public:
  TestSink(Seen& seen, bool refuse, bool mirror) : seen_(seen), refuse_(refuse), mirror_(mirror) {}
  bool Report(const PlatformEntry& entry, std::string& why) override {
    seen_.threads.push_back(std::this_thread::get_id());
    if (refuse_)
      why = "not there";
    else
      seen_.entries.push_back(entry);
    return !refuse_;
  }
  bool TakesMirror() const override { return mirror_; }
  std::string Name() const override { return "the test's log"; }

 private:
  Seen& seen_;
  const bool refuse_, mirror_;
};

}  // namespace

TEST(PlatformLog, EventsGoFromTheWriterFoldedAndARefusalCostsOneLine) {
  enum Sink { None, Takes, TakesMirror, Refuses };
  std::string plain;  // the file without a sink, without time and run mark
  for (const Sink kind : {None, Takes, TakesMirror, Refuses}) {
    SCOPED_TRACE(kind);
    test::TempDir dir;
    Seen seen;
    std::atomic<long> ms{0};
    const auto start = std::chrono::floor<std::chrono::minutes>(std::chrono::system_clock::now());
    EventLog log;
    log.SetClock([&] { return start + std::chrono::milliseconds(ms.load()); });
    if (kind != None) log.SetPlatformSink(std::make_unique<TestSink>(seen, kind == Refuses, kind == TakesMirror));
    testing::internal::CaptureStderr();
    log.Open(dir.str() + "/ostrana.log", true);
    log.Write(LogLevel::Info, "client", "accepted: 10.0.0.5:50412",
              LogEvent(EventId::ClientAccepted).Client("10.0.0.5:50412"));
    log.Write(LogLevel::Info, "polling", "1 records in the last minute");
    for (ms = 0; ms <= 200; ms += 100) {
      log.Write(LogLevel::Warning, "mailbox", "lost", LogEvent(EventId::MachineLost).Machine("TNC640,1"));
      log.Write(LogLevel::Info, "mailbox", "back", LogEvent(EventId::MachineBack));
    }
    ms = 1500;  // past the second: the next one carries the count
    log.Write(LogLevel::Warning, "mailbox", "lost", LogEvent(EventId::MachineLost).Machine("TNC640,1"));
    log.Close();  // the count of "back" on a line of its own
    console::Drain(std::chrono::seconds(10));
    const std::string mirrored = testing::internal::GetCapturedStderr();
    const std::string file =
        std::regex_replace(test::ReadText(dir.path() / "ostrana.log"), std::regex(".{29}(.*)\n"), "$1\n");
    if (kind == None) plain = file;
    if (kind == Refuses) {
      EXPECT_EQ(file, plain +
                          "WARN  log: the test's log refused an event (not there): its events are counted and kept in "
                          "this file only\n");
      EXPECT_EQ(log.Counted().refused, 5u);
    } else {
      EXPECT_EQ(file, plain);
    }
    // The journal keeps the events it took: stderr has only the rest.
    EXPECT_EQ(mirrored.find("accepted: 10.0.0.5") == std::string::npos, kind == TakesMirror) << mirrored;
    EXPECT_NE(mirrored.find("1 records in the last minute"), std::string::npos);
    if (kind != Takes && kind != TakesMirror) continue;
    EXPECT_EQ(log.Counted().reported, 5u);
    ASSERT_EQ(seen.entries.size(), 5u);
    const std::vector<std::tuple<EventId, std::size_t, std::string>> expected = {
        {EventId::ClientAccepted, 0, "^client: accepted: 10.0.0.5:50412$"},
        {EventId::MachineLost, 0, "^mailbox: lost$"},
        {EventId::MachineBack, 0, "^mailbox: back$"},
        {EventId::MachineLost, 2, "^mailbox: lost \\(and 2 times more since ..:..:00.100\\)$"},
        {EventId::MachineBack, 2, "^mailbox: back \\(2 times from ..:..:00.100 to ..:..:00.200\\)$"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const auto& [id, repeats, message] = expected[i];
      EXPECT_EQ(seen.entries[i].event.id, id) << i;
      EXPECT_EQ(seen.entries[i].repeats, repeats) << i;
      EXPECT_TRUE(std::regex_search(seen.entries[i].message, std::regex(message))) << seen.entries[i].message;
      EXPECT_NE(seen.threads[i], std::this_thread::get_id());
    }
    EXPECT_EQ(seen.entries[3].event.machine, "TNC640,1");
  }
}

#ifndef _WIN32
// The journal's socket, as sd_journal_send finds it: the fields read back as
// written, a line feed in a value too. A journal that is not there, or does
// not read, costs one line in the file, and the run does not wait for it.
TEST(PlatformLog, TheJournalReadsTheFieldsBackAndOneThatRefusesCostsOneLine) {
  std::string why;
  if (!test::JournalReceiver::Isolate(&why)) GTEST_SKIP() << why;
  enum Journal { Reading, NotReading, Absent };
  for (const Journal kind : {Reading, NotReading, Absent}) {
    test::TempDir dir;
    auto receiver = kind == Absent ? nullptr : std::make_unique<test::JournalReceiver>(kind == Reading);
    EventLog log;
    log.SetPlatformSink(OpenPlatformSink({.journal = true}));
    log.Open(dir.str() + "/ostrana.log", false);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 40; ++i)
      log.Write(LogLevel::Audit, "command", "WCS " + std::to_string(i),
                LogEvent(EventId::CommandNotWritten).Values("1,2\n3").Result(false).Reason("a command is waiting"));
    log.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << kind;
    const std::string file = test::ReadText(dir.path() / "ostrana.log");
    EXPECT_EQ(file.find("WARN  log: the systemd journal refused an event (") != std::string::npos, kind != Reading)
        << kind << file;
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 40 + (kind != Reading)) << file;
    if (kind != Reading) continue;
    const auto entries = receiver->Where("OSTRANA_KIND", "audit");
    ASSERT_EQ(entries.size(), 40u);
    EXPECT_EQ(entries[7], (test::JournalReceiver::Entry{{"MESSAGE", "command: WCS 7"},
                                                        {"PRIORITY", "6"},
                                                        {"SYSLOG_IDENTIFIER", "ostrana"},
                                                        {"OSTRANA_ID", "401"},
                                                        {"OSTRANA_EVENT", "CommandNotWritten"},
                                                        {"OSTRANA_KIND", "audit"},
                                                        {"OSTRANA_VALUES", "1,2\n3"},
                                                        {"OSTRANA_RESULT", "not written"},
                                                        {"OSTRANA_REASON", "a command is waiting"}}));
  }
}
#endif
