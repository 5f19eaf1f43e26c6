#include "qt/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <memory>

#include "common/Folders.h"

namespace ostrana::qt {
namespace {

const char* const kPortNumber = "PortNumber";
const char* const kXTopLeft = "xTopLeft";
const char* const kYTopLeft = "yTopLeft";
const char* const kMute = "Mute";

std::unique_ptr<QSettings> Open(const QString& file) {
  if (!file.isEmpty()) return std::make_unique<QSettings>(file, QSettings::IniFormat);
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return std::make_unique<QSettings>(dir + QStringLiteral("/Quorvane/Corvessa/Ostrana.conf"),
                                     QSettings::IniFormat);
}

void ReadInt(const QSettings& s, const char* name, std::int32_t& member) {
  if (!s.contains(name)) return;
  bool ok = false;
  const qlonglong value = s.value(name).toLongLong(&ok);
  // A DWORD read back from the registry may come as its unsigned pattern.
  if (ok && value >= INT32_MIN && value <= UINT32_MAX) member = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

QtSettingsStore::QtSettingsStore(QString file) : file_(std::move(file)) {}

std::string QtSettingsStore::Location() const { return Open(file_)->fileName().toStdString(); }

bool QtSettingsStore::Writable(std::string* why) const {
  auto s = Open(file_);
  const QString path = s->fileName();
  if (QFileInfo::exists(path)) {
    QFile file(path);
    if (file.open(QIODevice::ReadWrite)) return true;
    *why = file.errorString().toStdString();
    return false;
  }
  return UsableFolder(QFileInfo(path).absolutePath().toStdString(), why);
}

platform::Settings QtSettingsStore::Load() const {
  platform::Settings settings;
  auto s = Open(file_);
  ReadInt(*s, kPortNumber, settings.portNumber);
  ReadInt(*s, kXTopLeft, settings.xTopLeft);
  ReadInt(*s, kYTopLeft, settings.yTopLeft);
  std::int32_t mute = 0;
  ReadInt(*s, kMute, mute);
  settings.muted = mute != 0;
  settings.logFile = s->value(QStringLiteral("LogFile")).toString().toStdString();
  settings.listenAddress = s->value(QStringLiteral("ListenAddress")).toString().toStdString();
  return settings;
}

void QtSettingsStore::Save(const platform::Settings& settings) const {
  auto s = Open(file_);
  s->setValue(kPortNumber, static_cast<int>(settings.portNumber));
  s->setValue(kXTopLeft, static_cast<int>(settings.xTopLeft));
  s->setValue(kYTopLeft, static_cast<int>(settings.yTopLeft));
  s->setValue(kMute, settings.muted ? 1 : 0);
  s->sync();
}

}  // namespace ostrana::qt
