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
// What a file's text reads as, in one line: the four values (marked * when
// not read), the log file, the listen address and its line, and what each
// problem names (its line, the name, the value and why, without what is done).
std::string ReadAs(const std::filesystem::path& file, const std::string& text) {
  Write(file, text);
  const platform::Settings s = platform::FileSettingsStore(file).Load();
  std::string shown;
  for (int i = 0; i < 4; ++i) shown += std::to_string(platform::StoredValues(s)[i]) + (s.unread[i] ? "* " : " ");
  shown += "log '" + s.logFile + "' listen '" + s.listenAddress + "' " + s.listenAddressAt.substr(0, 6);
  const std::size_t at = file.string().size() + 2;  // after "FILE, "
  for (const auto& problem : s.problems) shown += "| " + problem.substr(at, problem.rfind(": ") - at) + " ";
  return shown;
}
}  // namespace

// Each line by the file's own rules: a file an earlier version wrote reads as
// it did; a UTF-8 mark is passed over; commas, semicolons and backslashes are a value's bytes; the last
// line of a name counts; a value that does not parse keeps its default, is
// named with its line and is not written at exit.
TEST(FileSettingsStore, ReadsEachLineByItsOwnRules) {
  const struct {
    const char *text, *read;
  } cases[] = {
      {"[General]\nMute=2\nPortNumber=50007\nxTopLeft=-20\nyTopLeft=4294967295\n", "50007 -20 -1 1 log '' listen '' "},
      {"\xEF\xBB\xBFLogFile=/var/log/a, b;c\\x.log\nListenAddress=127.0.0.1, ::1\n",
       "50000 0 0 0 log '/var/log/a, b;c\\x.log' listen '127.0.0.1, ::1' line 2"},
      {"# note\r\n ; old\r\n xTopLeft = \"12\" \r\nPortNumber=1\r\nPortNumber=2\r\nLogFile=\" /a \"\r\n",
       "2 12 0 0 log ' /a ' listen '' "},
      {"# an old Mac's\rPortNumber=50091\rMute=1\r", "50091 0 0 1 log '' listen '' "},
      {"\nPortNumber=@Variant(\\0)\nMute=1 ;\nyTopLeft=99999999999",
       "50000* 0 0* 0* log '' listen '' | line 2: PortNumber '@Variant(\\0)' is not a whole number | line 4: yTopLeft "
       "'99999999999' is not a whole number | line 3: Mute '1 ;' is not a whole number "},
      {"PortNumbr=1\nlisten 127.0.0.1\nListenAddress=\nLogFile=/a\x1b]b\n",
       "50000 0 0 0 log '' listen '' line 3| line 2: 'listen 127.0.0.1' is not Name=value | line 1: 'PortNumbr' is not "
       "a setting of this program | line 4: LogFile '/a\\x1B]b' holds a control character "},
  };
  test::TempDir dir;
  for (const auto& c : cases) EXPECT_EQ(ReadAs(dir.path() / "ostrana.conf", c.text), c.read);
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
      {"# c\rMute=0\rPortNumber=1", "# c\rMute=1\rPortNumber=50100\rxTopLeft=-3\ryTopLeft=0\r"},
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
// computer; through a link, the file it names is written, with its mode.
TEST(FileSettingsStore, RefusesWhatItCannotKeep) {
  test::TempDir dir;
  std::string why;
  const platform::FileSettingsStore folder(dir.path());
  platform::Settings s = folder.Load();
  EXPECT_EQ(std::tuple(s.listenAddress, s.unread, s.problems.size()),
            std::tuple(std::string("127.0.0.1"), std::array<bool, 4>{true, true, true, true}, std::size_t(1)));
  EXPECT_TRUE(folder.Save(s, &why));  // nothing it may write
  EXPECT_FALSE(folder.Writable(&why) || why != "it is not a regular file") << why;
#ifndef _WIN32
  const auto real = dir.path() / "real.conf", link = dir.path() / "link.conf";
  Write(real, "Mute=0\n");
  std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink(real, link);
  s = platform::FileSettingsStore(link).Load();
  s.muted = true;
  EXPECT_TRUE(platform::FileSettingsStore(link).Save(s, &why) && std::filesystem::is_symlink(link)) << why;
  EXPECT_EQ(test::ReadText(real), "Mute=1\nPortNumber=50000\nxTopLeft=0\nyTopLeft=0\n");
  EXPECT_EQ(std::filesystem::status(real).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
}
