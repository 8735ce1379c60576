// Runs Form4::OpenIt once on the path given, with the real program starter
// and the desktop the environment names, and prints each message it shows.
// The open-it tests start it afresh for every scenario: GIO caches what it
// has read about the desktop for the life of a process.

#include <cstdio>

#include "recording_view.h"
#include "shell/gio/spawn_starter.h"
#include "shell/system_folders.h"
#include "ui/file_dialog.h"
#include "ui/message_boxes.h"
#include "ui/pointer.h"

namespace {

struct PrintedMessages final : sealdoor::ui::MessageBoxes {
  void Show(std::string_view text, sealdoor::text::MessageStyle style) override {
    std::printf("message %d: %.*s\n", static_cast<int>(style), static_cast<int>(text.size()), text.data());
  }
};
struct NoPointer final : sealdoor::ui::Pointer {
  void SetBusy() override {}
  void SetNormal() override {}
};
struct NoDialog final : sealdoor::ui::FileDialog {
  std::optional<std::string> Show(const sealdoor::ui::FileDialogOptions&) override { return std::nullopt; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const sealdoor::shell::SystemFolders folders = sealdoor::shell::GetSystemFolders();
  PrintedMessages messages;
  NoPointer pointer;
  NoDialog dialog;
  sealdoor::shell::SpawnStarter starter;
  sealdoor::test::RecordingView view;
  sealdoor::ui::Form4 form(view, {messages, pointer, dialog, starter}, folders.windowsFolder);
  form.SetOpenPause(std::chrono::seconds(0));
  form.OpenIt(argv[1]);
  std::fflush(stdout);
  return 0;
}
