// Times a batch through the window's own path: Command4_Click or
// Command5_Click, ShowDialog and the engine, with the dialog answering the
// given files and message boxes closing at once. Offscreen; prints seconds.
//
//   window_bench lock|unlock PASSWORD FILE...   (all FILEs in one folder)

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <filesystem>

#include "shell/program_starter.h"
#include "ui/file_dialog.h"
#include "ui/form4.h"
#include "ui/message_boxes.h"
#include "ui/pointer.h"
#include "ui/qt/qt_form4.h"

namespace {

struct QuietMessages final : sealdoor::ui::MessageBoxes {
  int shown = 0;
  void Show(std::string_view, sealdoor::text::MessageStyle) override { ++shown; }
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
  if (lock)
    form.Command4_Click();
  else
    form.Command5_Click();
  std::printf("%.4f\n", static_cast<double>(timer.nsecsElapsed()) / 1e9);
  return messages.shown == 1 ? 0 : 1;  // only the closing message: nothing refused
}
