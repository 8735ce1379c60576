#include "qt_pointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace sealdoor::ui {

void QtPointer::SetBusy() {
  // One level only: "busy" twice and "normal" once must end normal.
  if (!QGuiApplication::overrideCursor()) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void QtPointer::SetNormal() {
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

}  // namespace sealdoor::ui
