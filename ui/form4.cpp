#include "form4.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "engine/file_head.h"
#include "engine/folder_walk.h"
#include "engine/format.h"
#include "engine/password_rule.h"
#include "engine/path_kind.h"
#include "engine/path_text.h"
#include "engine/secure_wipe.h"
#include "file_dialog.h"
#include "message_boxes.h"
#include "pointer.h"
#include "shell/open_command.h"
#include "shell/program_starter.h"
#include "shell/system_folders.h"
#include "shell/wait_seconds.h"
#include "text/action_texts.h"
#include "text/tr.h"
#include "text/window_texts.h"

namespace sealdoor::ui {
namespace {

// TRANSLATORS: the file dialog's types: a name, "|", its patterns, "|", and
// so on. Translate the names only; keep every "|" and pattern as it is.
constexpr const char* kFilter = text::N("All Files (*.*)|*.*|Text (*.txt)|*.txt|Pictures (*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|"
    "Microsoft Word (*.doc)|*.doc|Microsoft Access (*.mdb)|*.mdb|Excel (*.xls)|*.xls|"
    "Sound (*.wav)|*.wav");

// Open-file dialog flags of the buttons; they differ in multi-select only.
constexpr int kFlagsSeveral = 3691020;  // 0x38520C
constexpr int kFlagsOne = 3690508;      // 0x38500C

}  // namespace

Form4::BusyScope::~BusyScope() {
  if (--form_.busy_ > 0 || form_.arrived_.Empty() || form_.takePosted_) return;
  form_.takePosted_ = true;
  form_.view_.Post([&form = form_] { form.TakeArrivals(); });
}

Form4::Form4(Form4View& view, Form4Services services, std::string windowsFolder)
    : view_(view), services_(services), windowsFolder_(std::move(windowsFolder)), port_(view, services.messages) {}

void Form4::Form_Load() {
  view_.SetWindowCaption(text::Tr(text::kCaption));
  services_.pointer.SetNormal();
}

bool Form4::PasswordEmpty() const { return WipedString(view_.Text1()).Get().empty(); }

// While files wait, their line says to type the password: the red hint
// would only repeat it.
void Form4::ApplyHintRule() { view_.SetHintVisible(PasswordEmpty() && pending_.empty()); }

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
  if (state_ != BatchControls::Idle || !pending_.empty() || view_.StatusText().empty()) return;
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

bool Form4::Form_QueryUnload() {
  // While a batch holds the window, closing would leave its files to chance:
  // the title bar's close stops the batch instead, as "Stop" does, and the
  // window stays for what the batch has to say.
  const bool stay = state_ != BatchControls::Idle;
  Command7_Click();
  return stay;
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
  if (!pending_.empty()) ShowPending();  // "type the password" no longer, or again
  if (text.Get().empty()) {
    ApplyHintRule();
    return;
  }
  view_.SetHintVisible(false);
  for (const char ch : text.Get()) {
    if (!IsPasswordCharacter(static_cast<unsigned char>(ch))) {
      view_.SetText1("");  // runs this handler again, nested
      services_.messages.Show(text::Tr(text::kInvalidCharacters), MessageStyle::None);
      return;
    }
  }
}

void Form4::Command4_Click() { ActionClick(kFlagsSeveral, Action::Lock); }

void Form4::Command5_Click() { ActionClick(kFlagsSeveral, Action::Unlock); }

void Form4::Command6_Click() { ActionClick(kFlagsOne, Action::UnlockAndOpen); }

void Form4::ActionClick(int dialogFlags, Action fromwhere) {
  const BusyScope busy(*this);
  if (PasswordEmpty()) {
    view_.FocusText1();
    return;
  }
  if (TakePending(fromwhere)) return;
  dialogFlags_ = dialogFlags;
  ShowDialog(fromwhere);
}

void Form4::DropFiles(Action fromwhere, const std::vector<std::string>& paths) {
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

void Form4::FilesFromOutside(std::optional<Action> fromwhere, std::vector<std::string> paths) {
  if (busy_ > 0 || state_ != BatchControls::Idle) {
    arrived_.Push({fromwhere, std::move(paths)});
    return;
  }
  const BusyScope busy(*this);
  const bool actionOnly = paths.empty() && fromwhere;  // a desktop menu's action, no files
  // What cannot be read (not found, no access) is said at once, and left out.
  std::vector<std::string> found, missing;
  for (auto& p : paths) {
    // Under the name as given: on Windows "x." is never taken for "x".
    if (const auto kind = KindOf(PathFromText(p)); !kind)
      missing.push_back(text::UnreadableLine(p, kind.error().message()));
    else
      found.push_back(std::move(p));
  }
  if (!missing.empty()) services_.messages.Show(text::LeftOutUnreadable(missing), MessageStyle::Exclamation);
  if (found.empty() && !actionOnly) return;
  if (fromwhere && !actionOnly && !PasswordEmpty()) {
    // Sent back to the password (a likely typo), they wait for its button.
    if (RunOnPaths(*fromwhere, found) == BatchEnd::BackToPassword) AddPending({fromwhere, std::move(found)});
    if (!pending_.empty()) ShowPending();
    return;
  }
  AddPending({fromwhere, std::move(found)});
  ShowPending();
}

void Form4::AddPending(Arrival request) {
  for (auto& waiting : pending_) {
    if (waiting.action != request.action || waiting.reopened || request.reopened) continue;
    // Files to unlock and open never join: each opens on its own press.
    const bool oneEach = request.action == Action::UnlockAndOpen;
    if (oneEach && !waiting.paths.empty() && !request.paths.empty()) continue;
    waiting.paths.insert(waiting.paths.end(), std::make_move_iterator(request.paths.begin()),
                         std::make_move_iterator(request.paths.end()));
    return;
  }
  pending_.push_back(std::move(request));
}

void Form4::TakeArrivals() {
  takePosted_ = false;
  while (busy_ == 0 && state_ == BatchControls::Idle) {
    auto next = arrived_.Pop();
    if (!next) return;
    FilesFromOutside(next->action, std::move(next->paths));
  }
}

std::vector<std::string> Form4::PendingFiles() const {
  std::vector<std::string> all;
  for (const auto& request : pending_) all.insert(all.end(), request.paths.begin(), request.paths.end());
  return all;
}

bool Form4::TakePending(Action fromwhere) {
  // An action named without files was only a pointer to its button: any
  // press answers it.
  if (std::erase_if(pending_, [](const Arrival& request) { return request.paths.empty(); }) > 0) ShowPending();
  const auto it = std::find_if(pending_.begin(), pending_.end(), [&](const Arrival& request) {
    return !request.action || *request.action == fromwhere;
  });
  if (it == pending_.end()) return false;
  if (fromwhere == Action::UnlockAndOpen) {
    if (auto refusal = OpenRefusal(it->paths)) {
      services_.messages.Show(*refusal, MessageStyle::Exclamation);
      return true;  // they keep waiting, for another button
    }
  }
  const auto at = it - pending_.begin();
  Arrival taken = std::move(*it);
  pending_.erase(it);
  ShowPending();
  if (RunOnPaths(fromwhere, taken.paths) == BatchEnd::BackToPassword) {
    // Back to the password: they wait on for its button, in their place.
    pending_.insert(pending_.begin() + std::min<std::ptrdiff_t>(at, std::ssize(pending_)), std::move(taken));
  } else if (taken.reopened) {
    WaitAgainIfUnlocked(taken.paths.front());  // refused (open for writing, ...): it waits on
  }
  if (!pending_.empty()) ShowPending();
  return true;
}

void Form4::ShowPending() {
  if (pending_.empty()) {
    view_.SetStatus("", kBlack);
    return;
  }
  const bool typed = !PasswordEmpty();
  const Arrival& first = pending_.front();
  std::string line;
  if (first.paths.empty()) {
    line = text::ActionAsked(*first.action, typed);
  } else if (first.reopened) {
    line = text::OpenUnlocked(PathText(PathFromText(first.paths.front()).filename()), typed);
  } else {
    const auto& paths = first.paths;
    const auto folders = static_cast<std::size_t>(std::count_if(paths.begin(), paths.end(), IsFolder));
    line = text::Waiting(first.action, paths.size() - folders, folders, typed);
  }
  if (pending_.size() > 1) {
    std::vector<std::optional<Action>> others;
    for (std::size_t i = 1; i < pending_.size(); ++i) others.push_back(pending_[i].action);
    line += "\n" + text::AlsoWaiting(others);
  }
  view_.SetHintVisible(false);
  view_.SetStatus(line, kBlack);
}

std::optional<std::string> Form4::OpenRefusal(const std::vector<std::string>& paths) {
  if (paths.size() != 1 || IsFolder(paths.front())) return text::Tr(text::kOneAtATime);
  return std::nullopt;
}

void Form4::ShowDialog(Action fromwhere) {
  FileDialogOptions options;
  options.initialDir = shell::InitialDialogFolder();
  options.title = text::Tr(text::TextsOf(fromwhere).dialogTitle);
  options.filter = text::Tr(kFilter);
  options.flags = dialogFlags_;
  const std::optional<std::string> chosen = services_.dialog.Show(options);
  if (!chosen) return;  // cancelled: nothing changes
  RunBatch(fromwhere, *chosen);
}

std::optional<shell::Started> Form4::OpenIt(const std::string& filesseps) {
  services_.pointer.SetBusy();
  const auto dot = filesseps.rfind('.');
  const std::string extension = dot == std::string::npos ? filesseps : filesseps.substr(dot);
  const auto yield = [this] { view_.Yield(); };
  const auto cannotStart = [&](const std::string& reason) -> std::optional<shell::Started> {
    services_.pointer.SetNormal();
    services_.messages.Show(text::CouldNotStart(filesseps, reason), MessageStyle::Exclamation);
    return std::nullopt;
  };

  if (shell::StartsItself(extension)) {
    auto started = services_.starter.StartFile(filesseps);
    if (!started) return cannotStart(started.error());
    shell::WaitSeconds(openPause_, yield);
    services_.pointer.SetNormal();
    view_.Yield();
    return std::move(*started);
  }

  if (const auto command = shell::GetOpenCommand(extension)) {
    if (command->terminalMissing) return cannotStart(text::Tr(text::kNoTerminal));
    const std::string line = shell::ExpandSystemRoot(command->prefix, windowsFolder_);
    auto started = services_.starter.StartCommand(line, filesseps);
    if (!started) return cannotStart(started.error());
    shell::WaitSeconds(openPause_, yield);
    services_.pointer.SetNormal();
    return std::move(*started);
  }
  services_.pointer.SetNormal();
  services_.messages.Show(text::NotRegistered(filesseps), MessageStyle::Exclamation);
  return std::nullopt;
}

constexpr std::chrono::milliseconds kWatchEvery{500};

void Form4::KeepOpened(const std::string& path, shell::Started program) {
  std::erase_if(opened_, [&](const OpenedFile& o) { return o.path == path; });
  opened_.push_back({path, std::move(program), std::chrono::steady_clock::now(),
                     std::make_unique<WipedString>(view_.Text1())});
  WaitToLockAgain(path);
  WatchSoon();
}

void Form4::WatchSoon() {
  const bool anyWatched = std::any_of(opened_.begin(), opened_.end(), [](const OpenedFile& f) { return f.program; });
  if (anyWatched && !std::exchange(watching_, true)) view_.After(kWatchEvery, [this] { WatchOpened(); });
}

void Form4::WatchOpened() {
  watching_ = false;
  // While the window is busy, the programs' ends wait for it.
  if (busy_ == 0 && state_ == BatchControls::Idle) {
    for (std::size_t i = 0; i < opened_.size();) {
      OpenedFile& file = opened_[i];
      if (!file.program || !file.program->Ended()) {
        ++i;
        continue;
      }
      OpenedFile ended = std::move(file);
      opened_.erase(opened_.begin() + static_cast<std::ptrdiff_t>(i));
      if (std::chrono::steady_clock::now() - ended.started >= ranAWhile_) LockAgainByItself(ended);
      if (busy_ > 0 || state_ != BatchControls::Idle) break;
    }
  }
  WatchSoon();
}

std::vector<Arrival>::iterator Form4::Reopened(const std::string& path) {
  return std::find_if(pending_.begin(), pending_.end(),
                      [&](const Arrival& a) { return a.reopened && a.paths.front() == path; });
}

void Form4::LockAgainByItself(OpenedFile& file) {
  const auto waiting = Reopened(file.path);
  if (waiting == pending_.end()) return;  // locked already, by the button
  // With the password that unlocked it, and only while the box still
  // holds it: a password changed since is the user's to press the button with.
  if (WipedString(view_.Text1()).Get() != file.password->Get()) return;
  pending_.erase(waiting);
  ShowPending();
  RunBatch(Action::Lock, file.path, {}, true);
  WaitAgainIfUnlocked(file.path);
}

void Form4::WaitToLockAgain(const std::string& path) {
  if (const auto waiting = Reopened(path); waiting != pending_.end()) pending_.erase(waiting);
  AddPending({Action::Lock, {path}, true});
  ShowPending();
}

void Form4::WaitAgainIfUnlocked(const std::string& path) {
  auto head = ReadFileHead(PathFromText(path));
  if (head && !format::IsLocked(*head)) WaitToLockAgain(path);
}

}  // namespace sealdoor::ui
