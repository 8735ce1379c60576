#include "password_text_events.h"

#include <QAccessible>
#include <QLineEdit>

namespace sealdoor::ui {
namespace {

QAccessible::UpdateHandler gNext = nullptr;
void Masking(QAccessibleEvent* event);

QString Stars(const QString& text) { return QString(text.size(), QLatin1Char('*')); }

// To the handler installed before ours, or to the platform's bridge, which
// Qt calls only while no handler is installed.
void Forward(QAccessibleEvent* event) {
  if (gNext) {
    gNext(event);
    return;
  }
  QAccessible::installUpdateHandler(nullptr);
  QAccessible::updateAccessibility(event);
  QAccessible::installUpdateHandler(Masking);
}

void Masking(QAccessibleEvent* event) {
  const auto* box = qobject_cast<const QLineEdit*>(event->object());
  if (!box || box->echoMode() == QLineEdit::Normal) {
    Forward(event);
    return;
  }
  switch (event->type()) {
    case QAccessible::TextInserted: {
      const auto* e = static_cast<const QAccessibleTextInsertEvent*>(event);
      QAccessibleTextInsertEvent masked(event->object(), e->changePosition(), Stars(e->textInserted()));
      Forward(&masked);
      return;
    }
    case QAccessible::TextRemoved: {
      const auto* e = static_cast<const QAccessibleTextRemoveEvent*>(event);
      QAccessibleTextRemoveEvent masked(event->object(), e->changePosition(), Stars(e->textRemoved()));
      Forward(&masked);
      return;
    }
    case QAccessible::TextUpdated: {
      const auto* e = static_cast<const QAccessibleTextUpdateEvent*>(event);
      QAccessibleTextUpdateEvent masked(event->object(), e->changePosition(), Stars(e->textRemoved()),
                                        Stars(e->textInserted()));
      Forward(&masked);
      return;
    }
    default:
      Forward(event);
  }
}

}  // namespace

void MaskPasswordTextEvents() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  gNext = QAccessible::installUpdateHandler(Masking);
}

}  // namespace sealdoor::ui
