// Start-up: one copy per user, the system folders, then the main window.

#include <QApplication>

#include "engine/process_guard.h"
#include "shell/program_starter.h"
#include "shell/system_folders.h"
#include "single_instance.h"
#include "ui/form4.h"
#include "ui/qt_file_dialog.h"
#include "ui/qt_message_boxes.h"
#include "ui/qt_pointer.h"

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
  sealdoor::ui::Form4 window({messages, pointer, dialog, starter});  // Form_Load runs here
  messages.SetParent(&window);
  dialog.SetParent(&window);
  window.show();
  return QApplication::exec();
}
