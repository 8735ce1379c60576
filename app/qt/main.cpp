// Start-up: the command line, one copy per user (a later launch hands its
// files to it), the system folders, then the main window.

#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/handover_client.h"
#include "app/launch_args.h"
#include "app/qt/handover_server.h"
#include "app/single_instance.h"
#include "app/thunar_actions.h"
#include "engine/path_text.h"
#include "engine/process_guard.h"
#include "shell/gio/spawn_starter.h"
#include "shell/system_folders.h"
#include "ui/form4.h"
#include "ui/qt/qt_file_dialog.h"
#include "ui/qt/qt_form4.h"
#include "ui/qt/qt_message_boxes.h"
#include "ui/qt/password_text_events.h"
#include "ui/qt/qt_pointer.h"

namespace {

using sealdoor::app::Arrival;

// Said on the terminal, and in a message box too when there is none to see
// it (a launch from a menu).
void Tell(const std::string& text, char* program) {
  std::fputs(text.c_str(), stderr);
  if (::isatty(STDERR_FILENO) || (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))) return;
  int argc = 1;
  char* argv[] = {program, nullptr};
  const QApplication app(argc, argv);
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Sealdoor"), QString::fromUtf8(text).trimmed());
  box.setTextFormat(Qt::PlainText);  // it may quote what was typed
  box.exec();
}

// Full paths: the running window has a working folder of its own.
std::vector<std::string> FullPaths(const std::vector<std::string>& files) {
  std::vector<std::string> out;
  for (const auto& f : files) {
    std::error_code ec;
    const auto full = std::filesystem::absolute(sealdoor::PathFromText(f), ec);
    out.push_back(ec ? f : sealdoor::PathText(full));
  }
  return out;
}

std::string ThisProgram(const char* argv0) {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(argv0) : self.string();
}

}  // namespace

int main(int argc, char** argv) {
  const auto launched = std::chrono::steady_clock::now();
  sealdoor::GuardProcess();
  const auto args = sealdoor::app::ParseLaunchArgs(std::vector<std::string>(argv + 1, argv + argc));
  if (!args) {
    Tell("sealdoor: " + args.error() + "\nTry 'sealdoor --help' for more information.\n", argv[0]);
    return 2;
  }
  if (args->help || args->version) {
    std::fputs(args->help ? sealdoor::app::LaunchUsage() : sealdoor::app::kLaunchVersion, stdout);
    return std::fflush(stdout) == 0 ? 0 : 2;
  }
  if (args->addToThunar) {
    const auto result = sealdoor::app::AddToThunar(ThisProgram(argv[0]));
    std::fputs((result.text + "\n").c_str(), result.ok ? stdout : stderr);
    return result.ok ? 0 : 1;
  }
  Arrival own{args->action, FullPaths(args->files),
              static_cast<std::uint64_t>(launched.time_since_epoch().count())};

  // A later copy hands its files to the first, which comes to the front,
  // and ends: no window of its own.
  const sealdoor::app::SingleInstance instance;
  if (!instance.First()) {
    if (sealdoor::app::HandOver(instance.Address(), own) == sealdoor::app::HandoverResult::Taken || own.paths.empty())
      return 0;
    Tell("sealdoor: the running Sealdoor window did not take the files; try again once it has finished\n", argv[0]);
    return 1;
  }

  // Qt's own options (-platform, -style...) are not read: the command line
  // is ours. Its environment variables still work.
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Sealdoor"));
  QApplication::setDesktopFileName(QStringLiteral("sealdoor"));
  sealdoor::ui::MaskPasswordTextEvents();

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
  sealdoor::app::HandoverServer handover(instance.Listener(), sealdoor::app::BringForward(view),
                                         sealdoor::app::HandTo(form));
  handover.Listen();
  view.show();
  if (!own.paths.empty()) handover.Accept(std::move(own));
  return QApplication::exec();
}
