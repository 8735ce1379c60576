#include "padlock.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace sealdoor::ui {

void PaintPadlock(QPainter& p, const QRectF& area, bool open) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  // Draw in a 100 x 100 box fitted into the area.
  const qreal side = std::min(area.width(), area.height());
  p.translate(area.center().x() - side / 2, area.center().y() - side / 2);
  p.scale(side / 100.0, side / 100.0);

  // Shackle: a thick arc; open, it rises and swings its right leg free.
  QPainterPath shackle;
  const qreal lift = open ? 12 : 0;
  shackle.moveTo(30, 50 - lift);
  shackle.lineTo(30, 30 - lift);
  shackle.arcTo(QRectF(30, 10 - lift, 40, 40), 180, -180);
  shackle.lineTo(70, open ? 30 - lift : 50);
  QPen steel(QColor(110, 115, 125), 11, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
  p.setPen(steel);
  p.setBrush(Qt::NoBrush);
  if (open) {
    p.translate(-14, 0);  // the shackle turns out to the left
    p.drawPath(shackle);
    p.translate(14, 0);
  } else {
    p.drawPath(shackle);
  }
  QPen shine(QColor(200, 205, 215), 3, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
  p.setPen(shine);

  // Body: a rounded brass block with a keyhole.
  const QRectF body(17, 46, 66, 48);
  QLinearGradient brass(body.topLeft(), body.bottomLeft());
  brass.setColorAt(0, QColor(255, 214, 92));
  brass.setColorAt(1, QColor(205, 140, 20));
  p.setPen(QPen(QColor(120, 80, 10), 3));
  p.setBrush(brass);
  p.drawRoundedRect(body, 8, 8);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 40, 10));
  p.drawEllipse(QPointF(50, 64), 6, 6);
  QPainterPath slot;
  slot.moveTo(46, 66);
  slot.lineTo(54, 66);
  slot.lineTo(52, 82);
  slot.lineTo(48, 82);
  slot.closeSubpath();
  p.drawPath(slot);
  p.restore();
}

QImage PadlockImage(int size, bool open) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  PaintPadlock(painter, QRectF(0, 0, size, size), open);
  painter.end();
  return image;
}

QIcon PadlockIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(PadlockImage(size, false)));
  return icon;
}

PadlockPicture::PadlockPicture(bool open, QWidget* parent) : QWidget(parent), open_(open) {}

void PadlockPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintPadlock(painter, QRectF(rect()), open_);
}

}  // namespace sealdoor::ui
