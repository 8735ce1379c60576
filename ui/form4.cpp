#include "form4.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "engine/commit_group.h"
#include "engine/folder_walk.h"
#include "engine/form1.h"
#include "engine/password_rule.h"
#include "engine/path_text.h"
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
#include "typo_guard.h"

namespace sealdoor::ui {
namespace {

constexpr const char* kFilter =
    "All Files (*.*)|*.*|Text (*.txt)|*.txt|Pictures (*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|"
    "Microsoft Word (*.doc)|*.doc|Microsoft Access (*.mdb)|*.mdb|Excel (*.xls)|*.xls|"
    "Sound (*.wav)|*.wav";

// Open-file dialog flags of the buttons; they differ in multi-select only.
constexpr int kFlagsSeveral = 3691020;  // 0x38520C
constexpr int kFlagsOne = 3690508;      // 0x38500C

// A folder of more files than this is confirmed before its batch.
constexpr std::size_t kConfirmAbove = 1000;
// A message lists at most this many names, then how many more.
constexpr std::size_t kListed = 10;
// Folders whose locked files a lock batch's password is held against.
constexpr std::size_t kFoldersLookedAt = 64;

constexpr const char* kOneAtATime = "\"Unlock and Open\" takes one file at a time.";

// Lines of `items`, at most kListed of them, then how many others.
std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size() && i < kListed; ++i) text += "\r\n" + items[i];
  if (items.size() > kListed) text += "\r\n... and " + std::to_string(items.size() - kListed) + " others";
  return text;
}

const char* ButtonCaption(int fromwhere) {
  return fromwhere == 1 ? "Lock Files" : fromwhere == 2 ? "Unlock Files" : "Unlock and Open";
}

// What a stopped batch did: how many of its files took their new form.
std::string StoppedText(int fromwhere, std::size_t done, std::size_t files) {
  std::string count = CountOf(done, "", "");
  count.pop_back();  // the number alone
  return "Stopped: " + count + " of " + CountOf(files, "file", "files") + (fromwhere == 1 ? " locked." : " unlocked.") +
         (files == 1 ? " The file was not changed." : " The other files were not changed.");
}

}  // namespace

Form4::BusyScope::~BusyScope() {
  if (--form_.busy_ > 0 || form_.draining_) return;
  form_.draining_ = true;
  while (!form_.arrived_.empty() && form_.state_ == BatchControls::Idle) {
    Arrival next = std::move(form_.arrived_.front());
    form_.arrived_.pop_front();
    form_.FilesFromOutside(next.fromwhere, std::move(next.paths));
  }
  form_.draining_ = false;
}

Form4::Form4(Form4View& view, Form4Services services)
    : view_(view), services_(services), port_(view, services.messages) {}

void Form4::Form_Load() {
  view_.SetWindowCaption("Sealdoor");
  services_.pointer.SetNormal();
}

bool Form4::PasswordEmpty() const { return WipedString(view_.Text1()).Get().empty(); }

void Form4::ApplyHintRule() { view_.SetHintVisible(PasswordEmpty()); }

// The hover feedback rests while a batch holds the window, as it did when
// the whole window was disabled: the working text and the padlock stay.
void Form4::Command4_MouseMove() {
  if (state_ != BatchControls::Idle) return;
  ApplyHintRule();
  view_.ShowPadlock(false);
}

void Form4::Command5_MouseMove() {
  if (state_ != BatchControls::Idle) return;
  ApplyHintRule();
  view_.ShowPadlock(true);
}

void Form4::Command6_MouseMove() {
  if (state_ != BatchControls::Idle) return;
  ApplyHintRule();
  view_.ShowPadlock(true);
}

void Form4::Frame3_MouseMove() {
  // Files waiting for a button keep their line until they are taken.
  if (state_ != BatchControls::Idle || pending_ || view_.StatusText().empty()) return;
  view_.SetStatus("", kBlack);
  view_.ShowPadlock(false);
}

void Form4::Command7_Click() {
  switch (state_) {
    case BatchControls::Idle: view_.EndProgram(); break;
    case BatchControls::Running: port_.RequestStop(); break;
    case BatchControls::Closing: break;  // disabled: nothing is left to stop
  }
}

void Form4::Form_QueryUnload(bool& cancel) {
  // While a batch holds the window, closing would leave its files to chance:
  // the title bar's close stops the batch instead, as "Stop" does, and the
  // window stays for what the batch has to say.
  cancel = state_ != BatchControls::Idle;
  Command7_Click();
}

void Form4::EscapePressed() {
  if (state_ == BatchControls::Running) port_.RequestStop();
}

void Form4::SetControls(BatchControls state) {
  if (state == BatchControls::Running && state_ == BatchControls::Idle) port_.ClearStop();
  state_ = state;
  view_.SetBatchControls(state);
}

void Form4::Text1_Change() {
  const BusyScope busy(*this);
  const WipedString text(view_.Text1());
  if (pending_) ShowPending();  // "type the password" no longer, or again
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
  const BusyScope busy(*this);
  if (PasswordEmpty()) {
    view_.FocusText1();
    return;
  }
  if (TakePending(fromwhere)) return;
  dialogFlags_ = dialogFlags;
  ShowDialog(fromwhere);
}

void Form4::DropFiles(int fromwhere, const std::vector<std::string>& paths) {
  // The buttons take no drop while a batch holds the window.
  if (paths.empty() || state_ != BatchControls::Idle) return;
  const BusyScope busy(*this);
  if (PasswordEmpty()) {
    // As the button would: no password, no batch; the hint says why.
    ApplyHintRule();
    view_.FocusText1();
    return;
  }
  RunOnPaths(fromwhere, paths);
}

void Form4::FilesFromOutside(int fromwhere, std::vector<std::string> paths) {
  if (busy_ > 0 || state_ != BatchControls::Idle) {
    arrived_.push_back({fromwhere, std::move(paths)});
    return;
  }
  const BusyScope busy(*this);
  // What cannot be read (not found, no access) is said at once, and left out.
  std::vector<std::string> found, missing;
  for (auto& p : paths) {
    std::error_code ec;
    const auto st = std::filesystem::symlink_status(PathFromText(p), ec);
    if (!ec && st.type() == std::filesystem::file_type::not_found)
      ec = std::make_error_code(std::errc::no_such_file_or_directory);
    if (ec)
      missing.push_back("'" + p + "': " + ec.message());
    else
      found.push_back(std::move(p));
  }
  if (!missing.empty())
    services_.messages.Show("These could not be read, and are left out:" + Listed(missing),
                            MessageStyle::Exclamation);
  if (found.empty()) return;
  if (fromwhere != 0 && !PasswordEmpty()) {
    // Sent back to the password (a likely typo), they wait for its button.
    if (!RunOnPaths(fromwhere, found)) {
      pending_ = Arrival{fromwhere, std::move(found)};
      ShowPending();
    }
    return;
  }
  if (pending_ && pending_->fromwhere == fromwhere && fromwhere != 3)
    pending_->paths.insert(pending_->paths.end(), found.begin(), found.end());
  else
    pending_ = Arrival{fromwhere, std::move(found)};
  ShowPending();
}

const std::vector<std::string>& Form4::PendingFiles() const noexcept {
  static const std::vector<std::string> none;
  return pending_ ? pending_->paths : none;
}

bool Form4::TakePending(int fromwhere) {
  if (!pending_ || (pending_->fromwhere != 0 && pending_->fromwhere != fromwhere)) return false;
  if (fromwhere == 3) {
    if (auto refusal = OpenRefusal(pending_->paths)) {
      services_.messages.Show(*refusal, MessageStyle::Exclamation);
      return true;  // they keep waiting, for another button
    }
  }
  Arrival taken = std::move(*pending_);
  pending_.reset();
  view_.SetStatus("", kBlack);
  if (!RunOnPaths(fromwhere, taken.paths)) {
    // Back to the password: they wait on for its button.
    pending_ = std::move(taken);
    ShowPending();
  }
  return true;
}

void Form4::ShowPending() {
  const auto& paths = pending_->paths;
  const auto folders = static_cast<std::size_t>(std::count_if(paths.begin(), paths.end(), IsFolder));
  const std::size_t files = paths.size() - folders;
  std::string what = files ? CountOf(files, "file", "files") : "";
  if (folders) what += (files ? " and " : "") + CountOf(folders, "folder", "folders");
  const int action = pending_->fromwhere;
  what += action == 1 ? " to lock" : action == 2 ? " to unlock" : action == 3 ? " to unlock and open" : " waiting";
  std::string press = action ? ButtonCaption(action)
                      : paths.size() == 1 && !folders ? "Lock Files, Unlock Files or Unlock and Open"
                                                      : "Lock Files or Unlock Files";
  view_.SetStatus(what + (PasswordEmpty() ? ": type the password, then press " : ": press ") + press, kBlack);
}

std::optional<std::string> Form4::OpenRefusal(const std::vector<std::string>& paths) {
  if (paths.size() != 1 || IsFolder(paths.front())) return kOneAtATime;
  return std::nullopt;
}

bool Form4::RunOnPaths(int fromwhere, const std::vector<std::string>& paths) {
  if (fromwhere == 3) {
    if (auto refusal = OpenRefusal(paths)) {
      services_.messages.Show(*refusal, MessageStyle::Exclamation);
      return true;
    }
    return RunBatch(fromwhere, paths.front());
  }
  if (std::none_of(paths.begin(), paths.end(), IsFolder)) return RunBatch(fromwhere, SelectionFromPaths(paths));
  return RunFolderBatch(fromwhere, paths);
}

bool Form4::RunFolderBatch(int fromwhere, const std::vector<std::string>& paths) {
  const bool lock = fromwhere == 1;
  SetControls(BatchControls::Running);
  services_.pointer.SetBusy();
  view_.SetStatus("\n\rReading the folders...", kBlack);
  view_.Yield();
  const FolderBatch batch = ExpandFolders(paths, lock, [this] { view_.Yield(); });
  // A stop while the folders are read is heard once they are: no batch then.
  const bool stopped = port_.StopRequested();
  services_.pointer.SetNormal();
  view_.SetStatus("", kBlack);
  SetControls(BatchControls::Idle);
  if (!batch.unreadable.empty()) {
    std::vector<std::string> lines;
    for (const auto& u : batch.unreadable) lines.push_back("'" + u.path + "': " + u.reason);
    services_.messages.Show("These could not be read, and are left out:" + Listed(lines), MessageStyle::Exclamation);
  }
  const std::string leftOut = batch.LeftOutLine(lock ? "already locked" : "not locked");
  if (batch.files.empty()) {
    view_.SetStatus(std::string(lock ? "No file to lock." : "No file to unlock.") + (leftOut.empty() ? "" : " " + leftOut),
                    kBlack);
    return true;
  }
  if (stopped) {
    services_.messages.Show(StoppedText(fromwhere, 0, batch.files.size()), MessageStyle::Information);
    return true;
  }
  const std::string count = CountOf(batch.files.size(), "file", "files") + (lock ? " to lock" : " to unlock");
  if (batch.files.size() > kConfirmAbove &&
      !services_.messages.Ask("There are " + count + " in " + (paths.size() == 1 ? "the folder" : "these folders") +
                              ". " + (lock ? "Lock" : "Unlock") + " them all?"))
    return true;
  if (!RunBatch(fromwhere, SelectionFromPaths(batch.files), count)) return false;
  if (!leftOut.empty()) view_.SetStatus(leftOut, kBlack);
  return true;
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

bool Form4::PasswordLooksIntended(const Selection& files) {
  // The batch's folders in the order met; no more than the guard can read.
  std::vector<std::filesystem::path> folders;
  std::set<std::filesystem::path> seen;
  for (std::size_t i = 0; i < files.size() && folders.size() < kFoldersLookedAt; ++i) {
    auto folder = files.Path(i).parent_path();
    if (seen.insert(folder).second) folders.push_back(std::move(folder));
  }
  const WipedString typed(view_.Text1());
  const Nearness nearness = NearestStoredPassword(folders, typed.Get());
  if (nearness != Nearness::CaseOnly && nearness != Nearness::OneCharacter) return true;
  // Never the stored password itself, nor where it differs.
  const std::string differs = nearness == Nearness::CaseOnly ? "differs only in the case of its letters from"
                                                         : "differs by one character from";
  if (services_.messages.Ask("The password " + differs + " the password of other locked files in " +
                             (folders.size() == 1 ? "this folder" : "these folders") +
                             ". Lock with this password anyway?"))
    return true;
  view_.SelectText1();
  return false;
}

bool Form4::RunBatch(int fromwhere, const std::string& selection, std::string_view note) {
  const BusyScope busy(*this);
  const Selection files = SplitSelection(selection);
  if (fromwhere == 1 && !PasswordLooksIntended(files)) return false;
  // Batch start.
  view_.Yield();
  SetControls(BatchControls::Running);
  services_.pointer.SetBusy();
  view_.SetStatus(std::string(note) + "\n\rWorking...  Plese wait...", kRed);
  view_.Yield();
  view_.SetBarWidth(Bar::File, 0);
  view_.SetBarWidth(Bar::Overall, 0);
  view_.SetCaption(Caption::Label21, "");
  view_.SetCaption(Caption::Label22, "");

  counters_ = BatchCountersFor(files.paths);

  // Dispatch: a fresh engine object for every call, gone after it. The new
  // versions are committed in groups, each made durable at once. A stop
  // leaves the file at hand as it was; what is complete and waits in the
  // group is finished work, and is committed with the rest.
  bool result = false;
  bool stopped = false;
  CommitGroup group(port_);
  port_.Restart();
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files.several) port_.Yield();
    if ((stopped = port_.StopRequested())) break;
    {
      Form1 engine(port_, counters_, &group);
      if (fromwhere == 1)
        engine.LockIt(files.Path(i), files.Name(i), result);
      else
        engine.UnlockIt(files.Path(i), files.Name(i), result);
      stopped = engine.Stopped();
    }
    if (stopped) break;
    if (files.several) port_.Yield();
  }
  if (!group.Flush()) result = false;
  SetControls(BatchControls::Closing);

  if (stopped) {
    services_.pointer.SetNormal();
    view_.SetStatus("", kBlack);
    view_.SetProgressVisible(false);
    services_.messages.Show(StoppedText(fromwhere, group.Placed(), files.size()), MessageStyle::Information);
    SetControls(BatchControls::Idle);
    return true;
  }

  if (fromwhere == 3) {
    services_.pointer.SetNormal();
    view_.SetStatus("", kBlack);
    view_.Yield();
    view_.SetProgressVisible(false);
    if (result) OpenIt(selection, result);
    SetControls(BatchControls::Idle);
    return true;
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
  SetControls(BatchControls::Idle);
  return true;
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

  if (shell::StartsItself(extension)) {
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
