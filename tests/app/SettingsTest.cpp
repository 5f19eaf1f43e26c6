#include <gtest/gtest.h>

#include <QSettings>

#include "qt/QtSettingsStore.h"
#include "support/TestSupport.h"

using namespace ostrana;

namespace {
QString File(const test::TempDir& dir) { return QString::fromStdString((dir.path() / "ostrana.conf").string()); }

// Values as an earlier run (or a person) left them.
void Store(const test::TempDir& dir, std::initializer_list<std::pair<const char*, QVariant>> values) {
  QSettings raw(File(dir), QSettings::IniFormat);
  for (const auto& [name, value] : values) raw.setValue(name, value);
}
}  // namespace

TEST(Settings, FirstRunHasDefaultsAndWritesAllFourAtExit) {
  test::TempDir dir;
  qt::QtSettingsStore store(File(dir));
  const platform::Settings s = store.Load();
  EXPECT_EQ(s.portNumber, 50000);
  EXPECT_EQ(s.xTopLeft, 0);
  EXPECT_EQ(s.yTopLeft, 0);
  EXPECT_FALSE(s.muted);
  store.Save(s);
  QSettings raw(File(dir), QSettings::IniFormat);
  EXPECT_EQ(raw.allKeys().size(), 4);
  EXPECT_EQ(raw.value("PortNumber").toInt(), 50000);
  EXPECT_EQ(raw.value("Mute").toInt(), 0);
}

TEST(Settings, StoredValuesAreUsedAndMuteIsNormalised) {
  test::TempDir dir;
  Store(dir, {{"Mute", 2}, {"PortNumber", 50007}, {"xTopLeft", -20}, {"yTopLeft", "not a number"}});
  qt::QtSettingsStore store(File(dir));
  platform::Settings s = store.Load();
  EXPECT_TRUE(s.muted);
  EXPECT_EQ(s.portNumber, 50007);
  EXPECT_EQ(s.xTopLeft, -20);
  EXPECT_EQ(s.yTopLeft, 0);  // unreadable: the default
  store.Save(s);
  QSettings raw(File(dir), QSettings::IniFormat);
  EXPECT_EQ(raw.value("Mute").toInt(), 1);
  EXPECT_EQ(raw.value("yTopLeft").toInt(), 0);
}

TEST(Settings, APortOutsideTheRangeIsLoadedUnchanged) {
  test::TempDir dir;
  Store(dir, {{"PortNumber", 70000}});
  EXPECT_EQ(qt::QtSettingsStore(File(dir)).Load().portNumber, 70000);
}
