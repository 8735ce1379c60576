#pragma once
#include <QIcon>
#include <QImage>
#include <QWidget>

class QPainter;

namespace sealdoor::ui {

// Our padlock, drawn as vectors so it is sharp at any size and pixel ratio.
void PaintPadlock(QPainter& painter, const QRectF& area, bool open);

// The padlock alone on a transparent square of `size` pixels.
[[nodiscard]] QImage PadlockImage(int size, bool open);

// The closed padlock as a window icon, at the usual icon sizes.
[[nodiscard]] QIcon PadlockIcon();

// A picture control showing the closed or the open padlock.
class PadlockPicture final : public QWidget {
 public:
  PadlockPicture(bool open, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool open_;
};

}  // namespace sealdoor::ui
