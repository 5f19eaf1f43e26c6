#include <gtest/gtest.h>

#include <QSettings>
#include <tuple>

#include "qt/QtSettingsStore.h"
#include "support/TestSupport.h"

using namespace ostrana;

// A first run has the defaults and writes all four values at exit; values as
// an earlier run (or a person) left them are used, mute normalised to 0 or 1,
// an unreadable one replaced by its default, a port outside the range loaded
// unchanged (the listener's recovery deals with it).
TEST(Settings, DefaultsStoredValuesAndWhatIsWrittenAtExit) {
  test::TempDir dir;
  const QString file = QString::fromStdString((dir.path() / "ostrana.conf").string());
  platform::Settings s = qt::QtSettingsStore(file).Load();
  EXPECT_EQ(std::tuple(s.portNumber, s.xTopLeft, s.yTopLeft, s.muted), std::tuple(50000, 0, 0, false));
  qt::QtSettingsStore(file).Save(s);
  EXPECT_EQ(QSettings(file, QSettings::IniFormat).allKeys().size(), 4);
  {
    QSettings raw(file, QSettings::IniFormat);
    for (const auto& [name, value] : std::initializer_list<std::pair<const char*, QVariant>>{
             {"Mute", 2}, {"PortNumber", 70000}, {"xTopLeft", -20}, {"yTopLeft", "not a number"}})
      raw.setValue(name, value);
  }
  s = qt::QtSettingsStore(file).Load();
  EXPECT_EQ(std::tuple(s.portNumber, s.xTopLeft, s.yTopLeft, s.muted), std::tuple(70000, -20, 0, true));
  qt::QtSettingsStore(file).Save(s);
  QSettings raw(file, QSettings::IniFormat);
  EXPECT_EQ(std::tuple(raw.value("Mute").toInt(), raw.value("yTopLeft").toInt(), raw.value("PortNumber").toInt()),
            std::tuple(1, 0, 70000));
  raw.setValue("yTopLeft", 90);  // as a number, the height is used as well
  raw.sync();
  EXPECT_EQ(qt::QtSettingsStore(file).Load().yTopLeft, 90);
}
