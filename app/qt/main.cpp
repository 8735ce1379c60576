// Start-up: one copy per user, the system folders, then the main window.

#include <QApplication>

#include "engine/process_guard.h"
#include "shell/gio/spawn_starter.h"
#include "shell/system_folders.h"
#include "app/single_instance.h"
#include "ui/form4.h"
#include "ui/qt/qt_file_dialog.h"
#include "ui/qt/qt_form4.h"
#include "ui/qt/qt_message_boxes.h"
#include "ui/qt/qt_pointer.h"

int main(int argc, char** argv) {
  sealdoor::GuardProcess();
  // A second copy ends at once: no window, no message, the first untouched.
  const sealdoor::app::SingleInstance instance;
  if (!instance.First()) return 0;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Sealdoor"));
  QApplication::setDesktopFileName(QStringLiteral("sealdoor"));

  sealdoor::ui::QtPointer pointer;
  pointer.SetBusy();
  sealdoor::shell::GetSystemFolders();
  QCoreApplication::processEvents();

  sealdoor::ui::QtMessageBoxes messages;
  sealdoor::ui::QtFileDialog dialog;
  sealdoor::shell::SpawnStarter starter;
  sealdoor::ui::QtForm4 view;
  sealdoor::ui::Form4 form(view, {messages, pointer, dialog, starter});
  view.Attach(form);
  form.Form_Load();
  messages.SetParent(&view);
  dialog.SetParent(&view);
  view.show();
  return QApplication::exec();
}
