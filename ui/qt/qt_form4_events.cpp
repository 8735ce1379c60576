// The window's events: pointer moves, drops onto the buttons, Escape, the
// title bar's close, and the Caps Lock note, each passed on to Form4.

#include <QAccessible>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <optional>
#include <vector>

#include "caps_lock.h"
#include "qt_form4.h"
#include "twips.h"
#include "ui/form4.h"

namespace sealdoor::ui {
namespace {

// A drop is taken as a copy, or a link where the source offers no copy,
// never as a move: a source told of a move may delete what it moved.
bool TakeAsCopy(QDropEvent* drop) {
  const Qt::DropActions offered = drop->possibleActions();
  if (offered & Qt::CopyAction)
    drop->setDropAction(Qt::CopyAction);
  else if (offered & Qt::LinkAction)
    drop->setDropAction(Qt::LinkAction);
  else
    return false;
  drop->accept();
  return true;
}

// The local files a drop brings, or none when it brings anything else.
std::vector<std::string> DroppedFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toStdString());
  }
  return paths;
}

}  // namespace

bool QtForm4::TakeDrop(QObject* watched, QEvent* event) {
  const std::optional<Action> fromwhere = watched == Command4   ? std::optional(Action::Lock)
                                          : watched == Command5 ? std::optional(Action::Unlock)
                                          : watched == Command6 ? std::optional(Action::UnlockAndOpen)
                                                                : std::nullopt;
  if (!fromwhere) return false;
  if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
    auto* drag = static_cast<QDropEvent*>(event);
    if (DroppedFiles(drag->mimeData()).empty() || !TakeAsCopy(drag)) drag->ignore();
    return true;
  }
  if (event->type() != QEvent::Drop || !form_) return false;
  auto* drop = static_cast<QDropEvent*>(event);
  const auto paths = DroppedFiles(drop->mimeData());
  if (paths.empty() || !TakeAsCopy(drop)) {
    drop->ignore();
    return true;
  }
  // After the drop has finished: the batch shows message boxes of its own.
  Post([this, action = *fromwhere, paths] { form_->DropFiles(action, paths); });
  return true;
}

bool QtForm4::eventFilter(QObject* watched, QEvent* event) {
  if (TakeDrop(watched, event)) return true;
  if (watched == Text1_) {
    switch (event->type()) {
      case QEvent::FocusIn:
      case QEvent::FocusOut:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::EnabledChange:
        // After the event: Caps Lock's own key turns the state as it is handled.
        QTimer::singleShot(0, this, [this] { UpdateCapsLockWarning(); });
        break;
      default:
        break;
    }
  }
  if (form_ && event->type() == QEvent::MouseMove) {
    if (watched == Command4) form_->Command4_MouseMove();
    else if (watched == Command5) form_->Command5_MouseMove();
    else if (watched == Command6) form_->Command6_MouseMove();
    else if (watched == Frame3) {
      // Only the panel's own background: a move over one of its controls
      // reaches the panel too, passed on by the control.
      const auto* me = static_cast<QMouseEvent*>(event);
      if (!Frame3->childAt(me->position().toPoint())) form_->Frame3_MouseMove();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void QtForm4::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && form_) {
    form_->EscapePressed();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void QtForm4::changeEvent(QEvent* event) {
  // Caps Lock may have turned while another window had the keyboard.
  if (event->type() == QEvent::ActivationChange) UpdateCapsLockWarning();
  QWidget::changeEvent(event);
}

void QtForm4::moveEvent(QMoveEvent* event) {
  UpdateCapsLockWarning();
  QWidget::moveEvent(event);
}

void QtForm4::UpdateCapsLockWarning() {
  const bool show = Text1_->hasFocus() && isActiveWindow() && CapsLockOn().value_or(false);
  if (show) {
    capsLockWarning_->adjustSize();
    capsLockWarning_->move(Text1_->mapToGlobal(QPoint(0, Text1_->height() + Px(30))));
  }
  if (show == capsLockWarning_->isVisible()) return;
  capsLockWarning_->setVisible(show);
  if (show) {
    QAccessibleEvent alert(capsLockWarning_, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
  }
}

void QtForm4::closeEvent(QCloseEvent* event) {
  if (form_ && form_->Form_QueryUnload())
    event->ignore();
  else
    event->accept();
}

}  // namespace sealdoor::ui
