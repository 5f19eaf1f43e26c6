#include <gtest/gtest.h>

#include <QSettings>
#include <fstream>
#include <tuple>

#include "platform/FileSettingsStore.h"
#include "qt/QtSettingsStore.h"
#include "support/TestSupport.h"

using namespace ostrana;

// One settings file serves both programs: the Windows program's file store
// reads what the Linux program wrote and writes what it reads back, keeping
// the lines it does not write (the log file, a person's own).
TEST(FileSettingsStore, ReadsAndWritesTheLinuxProgramsFile) {
  test::TempDir dir;
  const std::string file = (dir.path() / "ostrana.conf").string();
  platform::Settings written;
  written.portNumber = 50007, written.xTopLeft = -20, written.yTopLeft = 300, written.muted = true;
  qt::QtSettingsStore(QString::fromStdString(file)).Save(written);
  std::ofstream(file, std::ios::app) << "LogFile=/var/log/x.log\n; a note of the user's\n";
  const platform::FileSettingsStore store(file);
  platform::Settings s = store.Load();
  EXPECT_EQ(std::tuple(s.portNumber, s.xTopLeft, s.yTopLeft, s.muted, s.logFile),
            std::tuple(50007, -20, 300, true, std::string("/var/log/x.log")));
  s.portNumber = 50100, s.muted = false;
  store.Save(s);
  s = qt::QtSettingsStore(QString::fromStdString(file)).Load();
  EXPECT_EQ(std::tuple(s.portNumber, s.xTopLeft, s.muted, s.logFile),
            std::tuple(50100, -20, false, std::string("/var/log/x.log")));
  const std::string text = test::ReadText(file);
  EXPECT_NE(text.find("; a note of the user's"), std::string::npos);
  EXPECT_EQ(text.find("PortNumber="), text.rfind("PortNumber="));  // written anew, not kept besides
  std::string why;                                                 // a folder where the file should be
  EXPECT_FALSE(platform::FileSettingsStore(dir.str()).Writable(&why));
  EXPECT_EQ(why, "it cannot be opened for writing");
}
