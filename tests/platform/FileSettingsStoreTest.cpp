#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "platform/FileSettingsStore.h"
#include "support/TestSupport.h"

using namespace ostrana;

namespace {
void Write(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}
std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& line : lines) all += line + "\n";
  return all;
}
}  // namespace

// Each line by the file's own rules: a file an earlier version wrote reads as
// it did; commas, semicolons and backslashes are a value's bytes; a value
// that does not parse keeps its default, is named with its line and is left
// as it is at exit.
TEST(FileSettingsStore, ReadsEachLineByItsOwnRules) {
  const struct {
    const char* text;
    std::int32_t port, x, y;
    bool muted;
    const char *logFile, *listen;
    int listenLine, unread, problems;
    const char* problem;
  } cases[] = {
      {"[General]\nMute=2\nPortNumber=50007\nxTopLeft=-20\nyTopLeft=4294967295\n", 50007, -20, -1, true, "", "", 0, 0,
       0, ""},
      {"LogFile=/var/log/a, b;c\\x.log\nListenAddress=127.0.0.1, ::1\n", 50000, 0, 0, false, "/var/log/a, b;c\\x.log",
       "127.0.0.1, ::1", 2, 0, 0, ""},
      {"# note\r\n ; old\r\n xTopLeft = \"12\" \r\nPortNumber=1\r\nPortNumber=2\r\nLogFile=\" /a \"\r\n", 2, 12, 0,
       false, " /a ", "", 0, 0, 0, ""},
      {"\nPortNumber=@Variant(\\0\\0\\x7f)\nMute=1 ; quiet\nyTopLeft=99999999999", 50000, 0, 0, false, "", "", 0,
       0b1101, 3,
       "line 2: PortNumber '@Variant(\\0\\0\\x7f)' is not a whole number: 50000 is used, and the line is left"},
      {"PortNumbr=1\nlisten 127.0.0.1\nListenAddress=\n", 50000, 0, 0, false, "", "", 3, 0, 2,
       "line 2: 'listen 127.0.0.1' is not Name=value: it is not used"},
      {"LogFile=/a\x1b]b\n", 50000, 0, 0, false, "", "", 0, 0, 1,
       "line 1: LogFile '/a\\x1B]b' holds a control character"},
  };
  test::TempDir dir;
  const auto file = dir.path() / "ostrana.conf";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Write(file, c.text);
    const platform::Settings s = platform::FileSettingsStore(file).Load();
    EXPECT_EQ(std::tuple(s.portNumber, s.xTopLeft, s.yTopLeft, s.muted, s.logFile, s.listenAddress),
              std::tuple(c.port, c.x, c.y, c.muted, std::string(c.logFile), std::string(c.listen)));
    EXPECT_EQ(s.listenAddressAt, c.listenLine ? "line " + std::to_string(c.listenLine) + " of " + file.string() : "");
    EXPECT_EQ(s.unread, (std::array<bool, 4>{(c.unread & 1) != 0, (c.unread & 2) != 0, (c.unread & 4) != 0,
                                             (c.unread & 8) != 0}));
    EXPECT_EQ(s.problems.size(), static_cast<std::size_t>(c.problems)) << Joined(s.problems);
    EXPECT_NE(Joined(s.problems).find(c.problem), std::string::npos) << Joined(s.problems);
  }
}

// At exit the four values go where they stand (a value not read stays as it
// is), a missing one is added, every other byte stays; a new file gets a
// first line that says what it is.
TEST(FileSettingsStore, WritesTheFourValuesInPlace) {
  const struct {
    const char *before, *after;
  } cases[] = {
      {"[General]\r\n# the shop's\r\nLogFile=C:\\logs\\a;b.log\r\nMute = one\r\nxTopLeft=\"7\"  \r\nPortNumber=1\r\n"
       "PortNumber=2\r\n",
       "[General]\r\n# the shop's\r\nLogFile=C:\\logs\\a;b.log\r\nMute = one\r\nxTopLeft=-3  \r\nPortNumber=1\r\n"
       "PortNumber=50100\r\nyTopLeft=0\r\n"},
      {"LogFile=/x", "LogFile=/x\nPortNumber=50100\nxTopLeft=-3\nyTopLeft=0\nMute=1\n"},
      {nullptr,
       "# Ostrana Connector's settings: one Name=value a line (the guide's Settings)\nPortNumber=50100\n"
       "xTopLeft=-3\nyTopLeft=0\nMute=1\n"},
  };
  test::TempDir dir;
  const auto file = dir.path() / "ostrana.conf";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    std::filesystem::remove(file);
    if (c.before) Write(file, c.before);
    const platform::FileSettingsStore store(file);
    platform::Settings s = store.Load();
    s.portNumber = 50100, s.xTopLeft = -3, s.muted = true;
    std::string why;
    EXPECT_TRUE(store.Save(s, &why)) << why;
    EXPECT_EQ(test::ReadText(file), c.after);
  }
}

// What is not a file is neither read nor written, and the port stays on this
// computer; a save that cannot be made says why and leaves the file as it
// was; through a link, the file it names is written, with its mode.
TEST(FileSettingsStore, RefusesWhatItCannotKeep) {
  test::TempDir dir;
  std::string why;
  const platform::FileSettingsStore folder(dir.path());
  platform::Settings s = folder.Load();
  EXPECT_EQ(std::tuple(s.listenAddress, s.unread, s.problems.size()),
            std::tuple(std::string("127.0.0.1"), std::array<bool, 4>{true, true, true, true}, std::size_t(1)));
  EXPECT_TRUE(folder.Save(s, &why));  // nothing it may write
  EXPECT_FALSE(folder.Writable(&why));
  EXPECT_EQ(why, "it is not a regular file");
  Write(dir.path() / "blocker", "a file");
  const platform::FileSettingsStore blocked(dir.path() / "blocker" / "ostrana.conf");
  EXPECT_FALSE(blocked.Writable(&why));
  why.clear();
  EXPECT_FALSE(blocked.Save(blocked.Load(), &why));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(test::ReadText(dir.path() / "blocker"), "a file");
#ifndef _WIN32
  const auto real = dir.path() / "real.conf", link = dir.path() / "link.conf";
  Write(real, "Mute=0\n");
  std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink(real, link);
  s = platform::FileSettingsStore(link).Load();
  s.muted = true;
  EXPECT_TRUE(platform::FileSettingsStore(link).Save(s, &why)) << why;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(test::ReadText(real), "Mute=1\nPortNumber=50000\nxTopLeft=0\nyTopLeft=0\n");
  EXPECT_EQ(std::filesystem::status(real).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
}
