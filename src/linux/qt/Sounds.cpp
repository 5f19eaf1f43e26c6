#include <QEventLoop>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <map>

#include "qt/PlatformServices.h"

namespace ostrana::qt {

using namespace platform;  // the seams implemented here
namespace {

class QtSoundPlayer final : public SoundPlayer {
 public:
  void Play(int id) override {
    if (current_ && current_->isPlaying()) current_->stop();
    current_ = Effect(id);
    current_->play();
  }

  void PlayAndWait(int id) override {
    Play(id);
    QSoundEffect* effect = current_;
    if (effect->status() == QSoundEffect::Error) return;
    // Wait until it has played, but never hang the exit on a broken device.
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    QObject::connect(effect, &QSoundEffect::playingChanged, &loop, [&] {
      if (!effect->isPlaying() && effect->status() != QSoundEffect::Loading) loop.quit();
    });
    QObject::connect(effect, &QSoundEffect::statusChanged, &loop, [&] {
      if (effect->status() == QSoundEffect::Error) loop.quit();
    });
    if (effect->isPlaying() || effect->status() == QSoundEffect::Loading) loop.exec();
  }

 private:
  QSoundEffect* Effect(int id) {
    auto& slot = effects_[id];
    if (!slot) {
      slot = std::make_unique<QSoundEffect>();
      slot->setSource(QUrl(QStringLiteral("qrc:/sounds/%1.wav").arg(id)));
    }
    return slot.get();
  }
  std::map<int, std::unique_ptr<QSoundEffect>> effects_;
  QSoundEffect* current_ = nullptr;
};

}  // namespace

std::unique_ptr<SoundPlayer> MakeSoundPlayer() { return std::make_unique<QtSoundPlayer>(); }

}  // namespace ostrana::qt
