#include "qt_message_boxes.h"

#include <QMessageBox>

namespace sealdoor::ui {

void QtMessageBoxes::Show(std::string_view text, MessageStyle style) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (style) {
    case MessageStyle::None: icon = QMessageBox::NoIcon; break;
    case MessageStyle::Critical: icon = QMessageBox::Critical; break;
    case MessageStyle::Exclamation: icon = QMessageBox::Warning; break;
    case MessageStyle::Information: icon = QMessageBox::Information; break;
  }
  QMessageBox box(icon, QStringLiteral("Sealdoor"), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);  // a file's name is never markup
  box.exec();
}

bool QtMessageBoxes::Ask(std::string_view text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Sealdoor"),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace sealdoor::ui
