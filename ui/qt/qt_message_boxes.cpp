#include "qt_message_boxes.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStyle>
#include <QVBoxLayout>

namespace sealdoor::ui {
namespace {

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QMessageBox::Icon IconOf(MessageStyle style) {
  switch (style) {
    case MessageStyle::None: return QMessageBox::NoIcon;
    case MessageStyle::Critical: return QMessageBox::Critical;
    case MessageStyle::Exclamation: return QMessageBox::Warning;
    case MessageStyle::Information: return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

QStyle::StandardPixmap PixmapOf(MessageStyle style) {
  switch (style) {
    case MessageStyle::Critical: return QStyle::SP_MessageBoxCritical;
    case MessageStyle::Exclamation: return QStyle::SP_MessageBoxWarning;
    default: return QStyle::SP_MessageBoxInformation;
  }
}

}  // namespace

void QtMessageBoxes::Show(std::string_view text, MessageStyle style) {
  QMessageBox box(IconOf(style), QStringLiteral("Sealdoor"), FromUtf8(text), QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);  // a file's name is never markup
  box.exec();
}

bool QtMessageBoxes::Ask(std::string_view text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Sealdoor"), FromUtf8(text),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void QtMessageBoxes::ShowSummary(std::string_view heading, std::string_view list, MessageStyle style) {
  QDialog box(parent_);
  box.setObjectName(QStringLiteral("Summary"));
  box.setWindowTitle(QStringLiteral("Sealdoor"));
  auto* icon = new QLabel(&box);
  const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  icon->setPixmap(box.style()->standardIcon(PixmapOf(style), nullptr, &box).pixmap(side, side));
  icon->setAlignment(Qt::AlignTop);
  auto* title = new QLabel(FromUtf8(heading), &box);
  title->setTextFormat(Qt::PlainText);
  title->setWordWrap(true);
  auto* lines = new QPlainTextEdit(&box);
  lines->setObjectName(QStringLiteral("SummaryList"));
  lines->setReadOnly(true);
  lines->setPlainText(FromUtf8(list).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  lines->setAccessibleName(FromUtf8(heading));
  // Room for about a dozen lines of about eighty characters; more scroll.
  const QFontMetrics metrics(lines->font());
  lines->setMinimumSize(metrics.averageCharWidth() * 80, metrics.lineSpacing() * 12);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addWidget(title, 1);
  auto* whole = new QVBoxLayout(&box);
  whole->addLayout(top);
  whole->addWidget(lines, 1);
  whole->addWidget(buttons);
  buttons->button(QDialogButtonBox::Ok)->setFocus();
  box.exec();
}

}  // namespace sealdoor::ui
