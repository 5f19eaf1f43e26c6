// Dialog units to pixels, the way the desktop lays out dialog templates: a
// horizontal unit is a quarter of the font's average character width, a
// vertical unit an eighth of its height. Main thread only (uses the font).
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>

namespace ostrana::ui {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (width / 26 + 1) / 2;
    baseY_ = fm.height();
  }
  int X(int du) const { return (du * baseX_ + 2) / 4; }
  int Y(int du) const { return (du * baseY_ + 4) / 8; }
  QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

 private:
  int baseX_ = 6;
  int baseY_ = 13;
};

}  // namespace ostrana::ui
