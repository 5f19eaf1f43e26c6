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

QString Path(const QString& file) {
  if (!file.isEmpty()) return file;
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Quorvane/Corvessa/Ostrana.conf");
}

std::unique_ptr<QSettings> Open(const QString& file) {
  return std::make_unique<QSettings>(Path(file), QSettings::IniFormat);
}

void ReadInt(const QSettings& s, const char* name, std::int32_t& member) {
  if (!s.contains(name)) return;
  bool ok = false;
  const qlonglong value = s.value(name).toLongLong(&ok);
  // A DWORD read back from the registry may come as its unsigned pattern.
  if (ok && value >= INT32_MIN && value <= UINT32_MAX)
    member = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// A settings path that exists and is no regular file (a FIFO, a device) is
// never opened (QSettings reads its file as it is made): reading it could
// wait for ever, writing it reaches nothing.
bool NotAFile(const QString& path) {
  const QFileInfo info(path);
  return info.exists() && !info.isFile();
}

}  // namespace

QtSettingsStore::QtSettingsStore(QString file) : file_(std::move(file)) {}

std::string QtSettingsStore::Location() const { return Path(file_).toStdString(); }

bool QtSettingsStore::Writable(std::string* why) const {
  const QString path = Path(file_);
  if (NotAFile(path)) {
    *why = "it is not a regular file; the defaults are used and nothing is saved in it";
    return false;
  }
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
  if (NotAFile(Path(file_))) return settings;
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
  if (NotAFile(Path(file_))) return;
  auto s = Open(file_);
  s->setValue(kPortNumber, static_cast<int>(settings.portNumber));
  s->setValue(kXTopLeft, static_cast<int>(settings.xTopLeft));
  s->setValue(kYTopLeft, static_cast<int>(settings.yTopLeft));
  s->setValue(kMute, settings.muted ? 1 : 0);
  s->sync();
}

}  // namespace ostrana::qt
