// Writes Sealdoor's icons from the padlock the window draws, so the menu,
// the window, the task bar and the Windows build all show the same one:
//
//   sealdoor-make-icons FOLDER
//
// FOLDER receives sealdoor.svg, sealdoor-N.png for the hicolor sizes, and
// padlock-closed.ico and padlock-open.ico (sizes 16 to 256) for Windows.
// scripts/make-icons runs it into packaging/icons, where the output is kept.

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

#include "icon_sizes.h"
#include "ui/qt/padlock.h"

namespace {

using sealdoor::ui::PaintPadlock;
using sealdoor::ui::PadlockImage;

bool WriteSvg(const QString& path) {
  QSvgGenerator svg;
  svg.setFileName(path);
  svg.setSize(QSize(256, 256));
  svg.setViewBox(QRect(0, 0, 256, 256));
  svg.setTitle(QStringLiteral("Sealdoor"));
  svg.setDescription(QStringLiteral("A closed padlock"));
  QPainter painter(&svg);
  PaintPadlock(painter, QRectF(0, 0, 256, 256), false);
  return painter.end();
}

void Put16(QByteArray& out, int v) {
  out.append(static_cast<char>(v & 0xff));
  out.append(static_cast<char>((v >> 8) & 0xff));
}
void Put32(QByteArray& out, qint64 v) {
  Put16(out, static_cast<int>(v & 0xffff));
  Put16(out, static_cast<int>((v >> 16) & 0xffff));
}

// One image of an icon file: a 32-bit bitmap with its mask for the small
// sizes, which every version of Windows reads, and PNG for 256.
QByteArray IconImage(const QImage& image) {
  QByteArray data;
  if (image.width() >= 256) {
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
  }
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  const int w = argb.width(), h = argb.height();
  Put32(data, 40);        // BITMAPINFOHEADER
  Put32(data, w);
  Put32(data, h * 2);     // colour and mask together
  Put16(data, 1);
  Put16(data, 32);
  Put32(data, 0);
  Put32(data, 0);
  Put32(data, 0);
  Put32(data, 0);
  Put32(data, 0);
  Put32(data, 0);
  for (int y = h - 1; y >= 0; --y) {  // bottom-up
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < w; ++x) Put32(data, static_cast<qint64>(line[x]));  // B G R A in memory
  }
  const int maskStride = ((w + 31) / 32) * 4;
  for (int y = h - 1; y >= 0; --y) {
    QByteArray row(maskStride, '\0');
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < w; ++x)
      if (qAlpha(line[x]) == 0) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    data.append(row);
  }
  return data;
}

bool WriteIco(const QString& path, bool open) {
  QList<QByteArray> images;
  for (const int size : sealdoor::packaging::kIcoSizes) images << IconImage(PadlockImage(size, open));
  QByteArray out;
  Put16(out, 0);
  Put16(out, 1);  // an icon
  Put16(out, static_cast<int>(images.size()));
  qint64 offset = 6 + 16 * images.size();
  for (qsizetype i = 0; i < images.size(); ++i) {
    const int size = sealdoor::packaging::kIcoSizes[static_cast<std::size_t>(i)];
    out.append(static_cast<char>(size >= 256 ? 0 : size));
    out.append(static_cast<char>(size >= 256 ? 0 : size));
    out.append('\0');
    out.append('\0');
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, images[i].size());
    Put32(out, offset);
    offset += images[i].size();
  }
  for (const auto& image : images) out.append(image);
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: sealdoor-make-icons FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool ok = WriteSvg(folder + QStringLiteral("/sealdoor.svg"));
  for (const int size : sealdoor::packaging::kHicolorSizes)
    ok = PadlockImage(size, false).save(folder + QStringLiteral("/sealdoor-%1.png").arg(size)) && ok;
  ok = WriteIco(folder + QStringLiteral("/padlock-closed.ico"), false) && ok;
  ok = WriteIco(folder + QStringLiteral("/padlock-open.ico"), true) && ok;
  return ok ? 0 : 1;
}
