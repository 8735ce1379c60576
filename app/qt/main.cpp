// Start-up: the command line, one copy per user (a later launch hands its
// files to it), the system folders, then the main window.

#include <unistd.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/handover_client.h"
#include "app/launch_args.h"
#include "app/qt/handover_server.h"
#include "app/single_instance.h"
#include "app/thunar_actions.h"
#include "engine/process_guard.h"
#include "shell/gio/spawn_starter.h"
#include "shell/system_folders.h"
#include "text/tr.h"
#include "ui/form4.h"
#include "ui/qt/qt_file_dialog.h"
#include "ui/qt/qt_form4.h"
#include "ui/qt/qt_message_boxes.h"
#include "ui/qt/qt_pointer.h"

namespace {

using sealdoor::app::Arrival;

// While the application starts, Qt's messages are held back, and the fatal
// one it gives when no display can be opened (its platform plugin's text,
// then an abort, status 134) becomes one line of ours and `status`. Once
// started, what was held goes out as it would have.
class StartupMessages {
 public:
  StartupMessages(std::string line, int status) {
    line_ = std::move(line);
    status_ = status;
    previous_ = qInstallMessageHandler(&Hold);
  }
  ~StartupMessages() {
    qInstallMessageHandler(previous_);
    for (const auto& m : held_) {
      const QMessageLogContext context(m.file.c_str(), m.line, m.function.c_str(), m.category.c_str());
      previous_(m.type, context, m.text);
    }
    held_.clear();
  }
  StartupMessages(const StartupMessages&) = delete;
  StartupMessages& operator=(const StartupMessages&) = delete;

 private:
  struct Held {
    QtMsgType type;
    std::string file, function, category;
    int line;
    QString text;
  };
  static void Hold(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
      std::fputs(line_.c_str(), stderr);
      std::fflush(stderr);
      ::_exit(status_);
    }
    auto text_of = [](const char* s) { return std::string(s ? s : ""); };
    held_.push_back({type, text_of(context.file), text_of(context.function), text_of(context.category), context.line,
                     text});
  }

  static inline std::string line_;
  static inline int status_ = 1;
  static inline std::vector<Held> held_;
  QtMessageHandler previous_ = nullptr;
};


// Said on the terminal, and in a message box too when there is none to see
// it (a launch from a menu). `status` is what the program then ends with.
int Tell(const std::string& text, char* program, int status) {
  std::fputs(text.c_str(), stderr);
  if (::isatty(STDERR_FILENO) || (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))) return status;
  int argc = 1;
  char* argv[] = {program, nullptr};
  std::optional<StartupMessages> quiet(std::in_place, "", status);  // the text is out already
  const QApplication app(argc, argv);
  quiet.reset();
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Sealdoor"), QString::fromUtf8(text).trimmed());
  box.setTextFormat(Qt::PlainText);  // it may quote what was typed
  box.exec();
  return status;
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
    return Tell("sealdoor: " + args.error() + "\n" + sealdoor::text::Tr("Try 'sealdoor --help' for more information.") +
                    "\n",
                argv[0], 2);
  }
  if (args->help || args->version) {
    std::fputs(args->help ? sealdoor::app::LaunchUsage().c_str() : sealdoor::app::kLaunchVersion, stdout);
    return std::fflush(stdout) == 0 ? 0 : 2;
  }
  if (args->addToThunar) {
    const auto result = sealdoor::app::AddToThunar(ThisProgram(argv[0]));
    std::fputs((result.text + "\n").c_str(), result.ok ? stdout : stderr);
    return result.ok ? 0 : 1;
  }
  // Full paths: the running window has a working folder of its own. Where
  // this launch's own is gone, its relative names name nothing.
  std::error_code noFolder;
  const auto here = std::filesystem::current_path(noFolder);
  auto names = sealdoor::app::MakeFullNames(args->files, noFolder ? std::nullopt : std::optional(here));
  const std::string leftOut =
      names.unreachable.empty()
          ? std::string()
          : "sealdoor: " + sealdoor::app::UnreachableNamesText(names.unreachable) + "\n";
  Arrival own{args->action, std::move(names.paths), static_cast<std::uint64_t>(launched.time_since_epoch().count())};

  // A later copy hands its files to the first, which comes to the front,
  // and ends: no window of its own.
  const sealdoor::app::SingleInstance instance;
  if (!instance.First()) {
    switch (sealdoor::app::HandOver(instance.Address(), own)) {
      case sealdoor::app::HandoverResult::Taken:
        return leftOut.empty() ? 0 : Tell(leftOut, argv[0], 1);
      case sealdoor::app::HandoverResult::TooLarge:
        return Tell("sealdoor: " +
                        sealdoor::text::Tr("too many files to hand to the running Sealdoor window at once; give fewer "
                                           "files at a time, or the folder that holds them, or use sealdoor-cli") +
                        "\n",
                    argv[0], 1);
      case sealdoor::app::HandoverResult::NotTaken:
        if (own.paths.empty()) return leftOut.empty() ? 0 : Tell(leftOut, argv[0], 1);
        return Tell(leftOut + "sealdoor: " +
                        sealdoor::text::Tr("the running Sealdoor window did not take the files; try again once it "
                                           "has finished") +
                        "\n",
                    argv[0], 1);
    }
  }

  // Qt's own options (-platform, -style...) are not read: the command line
  // is ours. Its environment variables still work.
  int qtArgc = 1;
  std::optional<StartupMessages> startup(
      std::in_place,
      "sealdoor: " + sealdoor::text::Tr("no display found to show the window on; sealdoor-cli works without one") + "\n",
      1);
  QApplication app(qtArgc, argv);
  startup.reset();
  QApplication::setApplicationName(QStringLiteral("Sealdoor"));
  // Qt's own words (the message boxes' buttons, the file dialog) in the
  // language our catalogues speak, where Qt's translations are installed.
  QTranslator qtWords;
  if (const std::string language = sealdoor::text::ActiveLanguage(); !language.empty() &&
      qtWords.load(QStringLiteral("qtbase_") + QString::fromStdString(language),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtWords);
  QApplication::setDesktopFileName(QStringLiteral("sealdoor"));

  sealdoor::ui::QtPointer pointer;
  pointer.SetBusy();
  const sealdoor::shell::SystemFolders folders = sealdoor::shell::GetSystemFolders();
  QCoreApplication::processEvents();

  sealdoor::ui::QtMessageBoxes messages;
  sealdoor::ui::QtFileDialog dialog;
  sealdoor::shell::SpawnStarter starter;
  sealdoor::ui::QtForm4 view;
  sealdoor::ui::Form4 form(view, {messages, pointer, dialog, starter}, folders.windowsFolder);
  view.Attach(form);
  form.Form_Load();
  messages.SetParent(&view);
  dialog.SetParent(&view);
  sealdoor::app::HandoverServer handover(instance.Listener(), sealdoor::app::BringForward(view),
                                         sealdoor::app::HandTo(form));
  handover.Listen();
  view.show();
  if (!leftOut.empty()) {
    std::fputs(leftOut.c_str(), stderr);
    // Said in the window once it shows, before the files that did arrive.
    QTimer::singleShot(0, &view, [&messages, text = leftOut.substr(10)] {
      messages.Show(text.substr(0, text.size() - 1), sealdoor::text::MessageStyle::Exclamation);
    });
  }
  if (!own.paths.empty() || own.action) handover.Accept(std::move(own));
  return QApplication::exec();
}
