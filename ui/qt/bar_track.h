#pragma once
#include <QPainter>
#include <QProgressBar>

namespace sealdoor::ui {

// The element of a bar that carries its value: drawn as the track the
// design has (the tint and a thin border, no text), and a progress bar to
// whoever asks, a screen reader above all.
class BarTrack final : public QProgressBar {
 public:
  explicit BarTrack(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
  }

  // QProgressBar paints at once on every visible change of its value; the
  // track looks the same at any value, so it is only marked for the next
  // paint, which a batch of many files then makes once per frame.
  void SetPercent(int percent) {
    if (percent == value()) return;
    setUpdatesEnabled(false);
    setValue(percent);
    setUpdatesEnabled(true);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
};

}  // namespace sealdoor::ui
