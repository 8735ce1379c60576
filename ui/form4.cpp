#include "form4.h"

#include "engine/commit_group.h"
#include "engine/form1.h"
#include "engine/password_rule.h"
#include "engine/secure_wipe.h"
#include "file_dialog.h"
#include "message_boxes.h"
#include "pointer.h"
#include "selection.h"
#include "shell/module2.h"
#include "shell/open_command.h"
#include "shell/program_starter.h"
#include "shell/system_folders.h"
#include "shell/wait_seconds.h"

namespace sealdoor::ui {
namespace {

constexpr const char* kFilter =
    "All Files (*.*)|*.*|Text (*.txt)|*.txt|Pictures (*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|"
    "Microsoft Word (*.doc)|*.doc|Microsoft Access (*.mdb)|*.mdb|Excel (*.xls)|*.xls|"
    "Sound (*.wav)|*.wav";

// Open-file dialog flags of the buttons; they differ in multi-select only.
constexpr int kFlagsSeveral = 3691020;  // 0x38520C
constexpr int kFlagsOne = 3690508;      // 0x38500C

}  // namespace

Form4::Form4(Form4View& view, Form4Services services)
    : view_(view), services_(services), port_(view, services.messages) {}

void Form4::Form_Load() {
  view_.SetWindowCaption("Sealdoor");
  services_.pointer.SetNormal();
}

bool Form4::PasswordEmpty() const { return WipedString(view_.Text1()).Get().empty(); }

void Form4::ApplyHintRule() { view_.SetHintVisible(PasswordEmpty()); }

void Form4::Command4_MouseMove() {
  ApplyHintRule();
  view_.ShowPadlock(false);
}

void Form4::Command5_MouseMove() {
  ApplyHintRule();
  view_.ShowPadlock(true);
}

void Form4::Command6_MouseMove() {
  ApplyHintRule();
  view_.ShowPadlock(true);
}

void Form4::Frame3_MouseMove() {
  if (view_.StatusText().empty()) return;
  view_.SetStatus("", kBlack);
  view_.ShowPadlock(false);
}

void Form4::Command7_Click() { view_.EndProgram(); }

void Form4::Form_QueryUnload(bool& cancel) {
  // The window is disabled while a batch runs; closing then would drop the
  // file being processed half-way, so the title bar's close waits for it.
  cancel = !view_.Enabled();
  if (!cancel) Command7_Click();
}

void Form4::Text1_Change() {
  const WipedString text(view_.Text1());
  if (text.Get().empty()) {
    view_.SetHintVisible(true);
    return;
  }
  view_.SetHintVisible(false);
  for (const char ch : text.Get()) {
    if (!IsPasswordCharacter(static_cast<unsigned char>(ch))) {
      view_.SetText1("");  // runs this handler again, nested
      services_.messages.Show("Invalid characters in password !\n\rEnter letters or digits only.",
                              MessageStyle::None);
      return;
    }
  }
}

void Form4::Command4_Click() { ActionClick(kFlagsSeveral, 1); }

void Form4::Command5_Click() { ActionClick(kFlagsSeveral, 2); }

void Form4::Command6_Click() { ActionClick(kFlagsOne, 3); }

void Form4::ActionClick(int dialogFlags, int fromwhere) {
  if (PasswordEmpty()) {
    view_.FocusText1();
    return;
  }
  dialogFlags_ = dialogFlags;
  ShowDialog(fromwhere);
}

void Form4::DropFiles(int fromwhere, const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  if (PasswordEmpty()) {
    // As the button would: no password, no batch; the hint says why.
    ApplyHintRule();
    view_.FocusText1();
    return;
  }
  if (fromwhere == 3 && paths.size() > 1) {
    services_.messages.Show("\"Unlock and Open\" takes one file at a time.", MessageStyle::Exclamation);
    return;
  }
  RunBatch(fromwhere, SelectionFromPaths(paths));
}

void Form4::ShowDialog(int fromwhere) {
  FileDialogOptions options;
  options.initialDir = shell::InitialDialogFolder();
  options.title = fromwhere == 1   ? "Sealdoor - Lock File(s)"
                  : fromwhere == 2 ? "Sealdoor - Unlock File(s)"
                                   : "Sealdoor - Open File";
  options.filter = kFilter;
  options.flags = dialogFlags_;
  const std::optional<std::string> chosen = services_.dialog.Show(options);
  if (!chosen) return;  // cancelled: nothing changes
  RunBatch(fromwhere, *chosen);
}

void Form4::RunBatch(int fromwhere, const std::string& selection) {
  // Batch start.
  view_.Yield();
  view_.SetEnabled(false);
  services_.pointer.SetBusy();
  view_.SetStatus("\n\rWorking...  Plese wait...", kRed);
  view_.Yield();
  view_.SetBarWidth(Bar::File, 0);
  view_.SetBarWidth(Bar::Overall, 0);
  view_.SetCaption(Caption::Label21, "");
  view_.SetCaption(Caption::Label22, "");

  const Selection files = SplitSelection(selection);
  counters_ = BatchCountersFor(files.paths);

  // Dispatch: a fresh engine object for every call, gone after it. The new
  // versions are committed in groups, each made durable at once.
  bool result = false;
  CommitGroup group(port_);
  port_.Restart();
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files.several) port_.Yield();
    {
      Form1 engine(port_, counters_, &group);
      if (fromwhere == 1)
        engine.LockIt(files.Path(i), files.Name(i), result);
      else
        engine.UnlockIt(files.Path(i), files.Name(i), result);
    }
    if (files.several) port_.Yield();
  }
  if (!group.Flush()) result = false;

  if (fromwhere == 3) {
    services_.pointer.SetNormal();
    view_.SetStatus("", kBlack);
    view_.Yield();
    view_.SetProgressVisible(false);
    if (result) OpenIt(selection, result);
    view_.SetEnabled(true);
    return;
  }

  // Closing.
  view_.SetCaption(Caption::Label22, "100%");
  view_.SetBarWidth(Bar::Overall, kFullBarTwips);
  services_.pointer.SetNormal();
  view_.SetStatus("", kBlack);
  const char* closing = fromwhere == 1 ? (files.several ? "Files locked !" : "File locked !")
                                       : (files.several ? "Files Unlocked !" : "File Unlocked !");
  view_.SetProgressVisible(false);
  if (result) services_.messages.Show(closing, MessageStyle::Information);
  view_.SetEnabled(true);
}

void Form4::OpenIt(const std::string& filesseps, bool& result) {
  (void)result;  // accepted, not used
  services_.pointer.SetBusy();
  Module2::FileExtension.clear();
  Module2::OpenCommand.clear();
  const auto dot = filesseps.rfind('.');
  const std::string extension = dot == std::string::npos ? filesseps : filesseps.substr(dot);
  const auto yield = [this] { view_.Yield(); };
  const auto cannotStart = [&](const std::string& reason) {
    services_.pointer.SetNormal();
    services_.messages.Show("'" + filesseps + "' could not be started: " + reason, MessageStyle::Exclamation);
  };

  if (extension == ".exe" || extension == ".com" || extension == ".bat" || extension == ".pif") {
    if (auto started = services_.starter.StartFile(filesseps); !started) return cannotStart(started.error());
    shell::WaitSeconds(openPause_, yield);
    services_.pointer.SetNormal();
    view_.Yield();
    return;
  }

  Module2::FileExtension = extension;
  shell::GetOpenCommand();
  if (!Module2::OpenCommand.empty()) {
    if (Module2::MissingTerminal)
      return cannotStart("its program runs in a terminal, and no terminal program is installed");
    const std::string command = shell::ExpandSystemRoot(Module2::OpenCommand, Module2::WindowsFolder);
    if (auto started = services_.starter.StartCommand(command, filesseps); !started)
      return cannotStart(started.error());
    shell::WaitSeconds(openPause_, yield);
    services_.pointer.SetNormal();
    return;
  }
  services_.pointer.SetNormal();
  services_.messages.Show(
      "'" + filesseps + "' is not a registered type.\r\n\r\nThe file was unlocked, but could not be open !",
      MessageStyle::Exclamation);
}

}  // namespace sealdoor::ui
