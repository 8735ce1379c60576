// Times a batch through the window's own path: Command4_Click or
// Command5_Click, ShowDialog and the engine, with the dialog answering the
// given files and message boxes closing at once. Offscreen; prints seconds.
//
//   window_bench lock|unlock PASSWORD FILE...   (all FILEs in one folder)
//   DROP=1 window_bench lock|unlock PASSWORD PATH...
//     the PATHs (files or folders) dropped onto the button instead
//   STOP_AFTER=SECONDS window_bench ...
//     presses Stop that long into the batch and prints, instead, how long
//     the "Stopped" message took to show after it.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/program_starter.h"
#include "ui/file_dialog.h"
#include "ui/form4.h"
#include "ui/message_boxes.h"
#include "ui/pointer.h"
#include "ui/qt/qt_form4.h"

namespace {

struct QuietMessages final : sealdoor::ui::MessageBoxes {
  int shown = 0;
  QElapsedTimer* clock = nullptr;
  qint64 stoppedShownAt = -1;
  void Show(std::string_view text, sealdoor::text::MessageStyle) override {
    ++shown;
    if (clock && text.starts_with("Stopped")) stoppedShownAt = clock->nsecsElapsed();
  }
};
struct NoPointer final : sealdoor::ui::Pointer {
  void SetBusy() override {}
  void SetNormal() override {}
};
struct Answer final : sealdoor::ui::FileDialog {
  std::string selection;
  std::optional<std::string> Show(const sealdoor::ui::FileDialogOptions&) override { return selection; }
};
struct NoStarter final : sealdoor::shell::ProgramStarter {
  std::expected<sealdoor::shell::Started, std::string> StartFile(const std::string&) override {
    return sealdoor::shell::Started{};
  }
  std::expected<sealdoor::shell::Started, std::string> StartCommand(const std::string&, const std::string&) override {
    return sealdoor::shell::Started{};
  }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 4) return 2;
  const bool lock = std::string(argv[1]) == "lock";
  QuietMessages messages;
  NoPointer pointer;
  Answer dialog;
  NoStarter starter;
  if (argc == 4) {
    dialog.selection = std::filesystem::absolute(argv[3]).string();
  } else {
    dialog.selection = std::filesystem::absolute(argv[3]).parent_path().string();
    for (int i = 3; i < argc; ++i) dialog.selection += '\0' + std::filesystem::path(argv[i]).filename().string();
  }
  sealdoor::ui::QtForm4 window;
  sealdoor::ui::Form4 form(window, {messages, pointer, dialog, starter});
  window.Attach(form);
  form.Form_Load();
  window.show();
  window.SetText1(argv[2]);
  QElapsedTimer timer;
  timer.start();
  messages.clock = &timer;
  qint64 stopPressedAt = -1;
  if (const char* after = std::getenv("STOP_AFTER")) {
    QTimer::singleShot(static_cast<int>(std::atof(after) * 1000), [&] {
      stopPressedAt = timer.nsecsElapsed();
      form.Command7_Click();
    });
  }
  const sealdoor::Action action = lock ? sealdoor::Action::Lock : sealdoor::Action::Unlock;
  if (std::getenv("DROP")) {
    std::vector<std::string> paths;
    for (int i = 3; i < argc; ++i) paths.push_back(std::filesystem::absolute(argv[i]).string());
    form.DropFiles(action, paths);
  } else if (lock) {
    form.Command4_Click();
  } else {
    form.Command5_Click();
  }
  if (std::getenv("STOP_AFTER")) {
    if (stopPressedAt < 0 || messages.stoppedShownAt < 0) return 3;  // the batch ended before Stop
    std::printf("%.4f\n", static_cast<double>(messages.stoppedShownAt - stopPressedAt) / 1e9);
    return 0;
  }
  std::printf("%.4f\n", static_cast<double>(timer.nsecsElapsed()) / 1e9);
  return messages.shown == 1 ? 0 : 1;  // only the closing message: nothing refused
}
