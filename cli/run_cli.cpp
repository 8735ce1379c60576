// sealdoor-cli: the lock engine for scripts, file-manager actions and
// benchmarks. The password never comes from an argument.

#include "run_cli.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>
#include <variant>
#include <string>
#include <vector>

#include "console.h"
#include "edit_guard.h"
#include "editor.h"
#include "engine/action.h"
#include "engine/batch_counters.h"
#include "engine/commit_group.h"
#include "engine/file_head.h"
#include "engine/form1.h"
#include "engine/format.h"
#include "engine/password_rule.h"
#include "engine/path_text.h"
#include "engine/secure_wipe.h"
#include "folder_files.h"
#include "name_quoting.h"
#include "terminal_port.h"
#include "text/action_texts.h"
#include "text/notices.h"
#include "text/tr.h"

namespace sealdoor::cli {
namespace {
namespace fs = std::filesystem;

constexpr const char* kVersion = "sealdoor-cli 1.01\n";

// TRANSLATORS: keep the command names, the options and FILE as they are,
// and the lines within 80 columns.
constexpr const char* kUsage = text::N("Usage: sealdoor-cli lock|unlock|status [OPTION...] [--] FILE...\n"
    "       sealdoor-cli edit [--password-stdin] [--quiet] [--] FILE\n"
    "\n"
    "Locks files in place with a password, unlocks them, or tells whether they\n"
    "are locked. A locked file keeps its name and grows by 702 bytes.\n"
    "\n"
    "  lock      lock each FILE (a locked file is refused)\n"
    "  unlock    unlock each FILE with the password it was locked with\n"
    "  status    print \"FILE: locked\" or \"FILE: not locked\" for each FILE\n"
    "  edit      unlock a locked FILE, run the editor on it ($VISUAL, else\n"
    "            $EDITOR, else sensible-editor; Notepad on Windows), and lock\n"
    "            it again with the same password once the editor ends, also\n"
    "            when it fails or Ctrl-C is pressed\n"
    "\n"
    "  --password-stdin  read the password from the first line of standard\n"
    "                    input; otherwise it is asked for on the terminal\n"
    "                    (twice when locking)\n"
    "  --quiet           no progress line; for status, no output at all\n"
    "  -r, --recursive   a FILE that is a folder stands for the files below it\n"
    "                    (links and special files left out); files already\n"
    "                    locked (for lock) or not locked (for unlock) are left\n"
    "                    out quietly, and counted in one line at the end\n"
    "  -x, --one-file-system\n"
    "                    with -r, folders on other file systems (other disks,\n"
    "                    mounts) are not entered\n"
    "  --yes             no question before more than 1,000 files of folders\n"
    "  --                the arguments after it are all files\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "Options go before the first FILE. The password is 1 to 24 letters and\n"
    "digits; case counts. Locking keeps a file unreadable to casual eyes and\n"
    "to the programs that open it; it is not encryption.\n"
    "\n"
    "Exit status of lock and unlock: 0 every file processed, 1 a file refused\n"
    "or failed, 2 usage error, 130 stopped by Ctrl-C (the file at hand left as\n"
    "it was, the files before it done).\n"
    "Exit status of status: 0 every file locked, 1 a file not locked, 2 a file\n"
    "that could not be read, or a usage error.\n"
    "Exit status of edit: 0 edited and locked again, 1 not unlocked, the editor\n"
    "failed, or the file could not be locked again (the message says which),\n"
    "2 usage error, 130 Ctrl-C (the file locked again first).\n");

struct Options {
  std::optional<Action> action;  // lock or unlock (edit: unlock first); none for status
  bool status = false;
  bool edit = false;
  bool passwordFromStdin = false;
  bool quiet = false;
  bool recursive = false;
  bool oneFileSystem = false;
  bool yes = false;
  std::vector<std::string> files;  // as given (UTF-8): a path object each only while it is worked on
};

int UsageError(const std::string& what) {
  Write(Stream::Err, "sealdoor-cli: " + what + "\n" + text::Tr("Try 'sealdoor-cli --help' for more information.") + "\n");
  return 2;
}

// Either the options, or the exit status to end with at once.
std::variant<Options, int> Parse(const std::vector<std::string>& args) {
  Options o;
  bool filesOnly = false;
  for (const auto& a : args) {
    if (!filesOnly && o.files.empty() && a.size() > 1 && a.front() == '-') {
      if (a == "--help") {
        Write(Stream::Out, text::Tr(kUsage));
        return Flush(Stream::Out) ? 0 : 2;
      }
      if (a == "--version") {
        Write(Stream::Out, kVersion);
        return Flush(Stream::Out) ? 0 : 2;
      }
      if (a == "--") {
        filesOnly = true;
      } else if (a == "--password-stdin") {
        o.passwordFromStdin = true;
      } else if (a == "--quiet") {
        o.quiet = true;
      } else if (a == "--recursive" || a == "-r") {
        o.recursive = true;
      } else if (a == "--one-file-system" || a == "-x") {
        o.oneFileSystem = true;
      } else if (a == "--yes") {
        o.yes = true;
      } else {
        return UsageError(text::Fill(text::Tr("unknown option {option} (a FILE whose name starts with \"-\" goes after \"--\")"),
                                     {{"option", QuoteAlways(a)}}));
      }
      continue;
    }
    if (!o.action && !o.status && !filesOnly) {
      if (a == "lock")
        o.action = Action::Lock;
      else if (a == "unlock")
        o.action = Action::Unlock;
      else if (a == "status")
        o.status = true;
      else if (a == "edit")
        o.edit = true, o.action = Action::Unlock;
      else
        return UsageError(text::Fill(text::Tr("unknown command {command} (lock, unlock, status or edit)"),
                                     {{"command", QuoteAlways(a)}}));
      continue;
    }
    o.files.push_back(a);
  }
  if (!o.action && !o.status) return UsageError(text::Tr("no command given (lock, unlock, status or edit)"));
  if (o.files.empty()) return UsageError(text::Tr("no FILE given"));
  if (o.edit && o.files.size() > 1) return UsageError(text::Tr("edit takes one FILE"));
  if (o.edit && (o.recursive || o.oneFileSystem || o.yes)) return UsageError(text::Tr("edit takes one FILE, not folders"));
  return o;
}

int Status(const Options& o) {
  int rc = 0;
  for (const auto& f : o.files) {
    auto head = ReadFileHead(PathFromText(f));
    if (!head) {
      Write(Stream::Err, "sealdoor-cli: " + QuoteAlways(f) + ": " + text::Reason(head.error(), Quoted) + "\n");
      rc = 2;
      continue;
    }
    const bool locked = format::IsLocked(*head);
    if (!locked && rc == 0) rc = 1;
    // Never translated: scripts read these lines.
    if (!o.quiet) Write(Stream::Out, QuoteIfNeeded(f) + (locked ? ": locked\n" : ": not locked\n"));
  }
  if (!Flush(Stream::Out)) {
    Write(Stream::Err, "sealdoor-cli: " + text::Tr("the output could not be written") + "\n");
    return 2;
  }
  return rc;
}

// The prompt, with a word of warning where the terminal tells that Caps
// Lock is on.
std::string Prompt(const std::string& prompt) {
  return (CapsLockOn().value_or(false) ? text::Tr("Caps Lock is on.") + "\n" : std::string()) + prompt;
}

// The password, asked for or read; nullopt (after saying why) when there is none.
std::optional<std::string> GetPassword(const Options& o) {
  std::string password;
  if (o.passwordFromStdin) {
    password = ReadPasswordLine();
  } else {
    auto first = AskPassword(Prompt(text::Tr("Password: ")));
    if (!first) {
      Write(Stream::Err,
            "sealdoor-cli: " + text::Tr("no terminal to ask for the password; use --password-stdin") + "\n");
      return std::nullopt;
    }
    password = std::move(*first);
    SecureWipe(*first);
    if (o.action == Action::Lock) {
      auto again = AskPassword(Prompt(text::Tr("Password again: ")));
      const bool same = again && *again == password;
      if (again) SecureWipe(*again);
      if (!same) {
        SecureWipe(password);
        Write(Stream::Err, "sealdoor-cli: " + text::Tr("the two passwords differ") + "\n");
        return std::nullopt;
      }
    }
  }
  if (!IsValidPassword(password)) {
    SecureWipe(password);
    Write(Stream::Err, "sealdoor-cli: " + text::Tr("the password must be 1 to 24 letters or digits") + "\n");
    return std::nullopt;
  }
  return password;
}

// "stopped: 12 of 40 files locked; the others were not changed".
std::string StoppedLine(Action action, std::size_t done, std::size_t files) {
  const bool lock = Locks(action);
  const std::string pattern =
      files == 1 ? (lock ? text::Tr("stopped: {done} of 1 file locked; it was not changed")
                         : text::Tr("stopped: {done} of 1 file unlocked; it was not changed"))
                 : (lock ? text::TrN("stopped: {done} of {files} file locked; the others were not changed",
                                     "stopped: {done} of {files} files locked; the others were not changed", files)
                         : text::TrN("stopped: {done} of {files} file unlocked; the others were not changed",
                                     "stopped: {done} of {files} files unlocked; the others were not changed", files));
  return text::Fill(pattern, {{"done", std::to_string(done)}, {"files", std::to_string(files)}});
}

// One file through the engine, its new version waiting in `group`.
struct FileRun {
  bool done;     // it took its new form (or waits for the group to give it)
  bool stopped;  // Ctrl-C stopped it, the file as it was
};
FileRun RunFile(Action action, const std::string& file, TerminalPort& port, BatchCounters& counters,
                CommitGroup& group) {
  const fs::path f = PathFromText(file);
  port.BeginFile();
  Form1 engine(port, counters, &group);
  const std::string name = PathText(f.filename());
  const bool done = Locks(action) ? engine.LockIt(f, name) : engine.UnlockIt(f, name);
  port.EndFile();
  return {done, engine.Stopped()};
}

// One file alone, committed: true when it took its new form.
bool RunOne(Action action, const std::string& file, TerminalPort& port, const CliSettings& settings) {
  BatchFiles batch = PrepareBatch(std::span(&file, 1));
  CommitGroup group(port, settings.groups);
  const bool done = RunFile(action, file, port, batch.counters, group).done;
  return group.Flush() && done;
}

void Say(const std::string& line) {
  Write(Stream::Err, "sealdoor-cli: " + line + "\n");
  (void)Flush(Stream::Err);  // said before the editor takes the terminal
}

// Unlocks the file, waits for the editor, locks it again with the same
// password. From the unlock on, no interrupt ends the process before the
// file is locked again: the first one is answered after that.
int Edit(const Options& o, const CliSettings& settings) {
  const std::string& file = o.files.front();
  const fs::path path = PathFromText(file);
  const std::string quoted = QuoteAlways(file);
  auto guard = EditGuard::Take(path);
  if (!guard) {
    Say(text::Fill(text::Tr("{file} cannot be edited now: {why}"), {{"file", quoted}, {"why", guard.error()}}));
    return 1;
  }
  auto password = GetPassword(o);
  if (!password) return 2;
  TerminalPort port(std::move(*password), !o.quiet);
  SecureWipe(*password);
  HoldInterrupts(true);
  struct Release {
    ~Release() { HoldInterrupts(false); }
  } release;
  const auto interrupted = [] { return HeldInterrupt() ? 128 + HeldInterrupt() : 0; };
  if (!RunOne(Action::Unlock, file, port, settings)) return interrupted() ? interrupted() : 1;

  std::optional<EditorEnd> editor;
  if (!interrupted()) {
    Say(text::Fill(text::Tr("{file} is unlocked until the editor ends"), {{"file", quoted}}));
    editor = RunEditor(path);
  }
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) {
    Say(text::Fill(text::Tr("{file} is gone: the editor deleted or moved it, so nothing was locked again"),
                   {{"file", quoted}}));
    return interrupted() ? interrupted() : 1;
  }
  if (!RunOne(Action::Lock, file, port, settings)) {
    Say(text::Fill(text::Tr("{file} could not be locked again: it stays unlocked"), {{"file", quoted}}));
    return 1;
  }
  if (editor && !editor->started) {
    Say(text::Fill(text::Tr("the editor {editor} could not be started ({why}); {file} is locked again"),
                   {{"editor", QuoteAlways(editor->command)}, {"why", editor->why}, {"file", quoted}}));
    return 1;
  }
  if (interrupted()) {
    Say(text::Fill(text::Tr("interrupted; {file} is locked again"), {{"file", quoted}}));
    return interrupted();
  }
  if (editor->status != 0) {
    Say(text::Fill(text::Tr("the editor {editor} ended with status {status}; {file} is locked again"),
                   {{"editor", QuoteAlways(editor->command)},
                    {"status", std::to_string(editor->status)},
                    {"file", quoted}}));
    return 1;
  }
  if (!o.quiet) Say(text::Fill(text::Tr("{file} is locked again"), {{"file", quoted}}));
  return 0;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliSettings& settings) {
  auto parsed = Parse(args);
  if (const int* rc = std::get_if<int>(&parsed)) return *rc;
  Options& o = std::get<Options>(parsed);
  FolderFiles folders;
  if (o.recursive) {
    auto expanded = ExpandForCommand(o.files, o.action, o.quiet, o.yes, o.oneFileSystem);
    if (!expanded) return expanded.error();
    folders = std::move(*expanded);
    o.files = std::move(folders.files);
    if (o.files.empty()) {  // nothing left to do: no password asked for
      if (!folders.leftOut.empty() && !o.quiet) Write(Stream::Err, "sealdoor-cli: " + folders.leftOut + "\n");
      return folders.unreadable ? (o.status ? 2 : 1) : 0;
    }
  }
  if (o.status) return std::max(Status(o), folders.unreadable ? 2 : 0);
  if (o.edit) return Edit(o, settings);
  const Action action = *o.action;

  auto password = GetPassword(o);
  if (!password) return 2;
  TerminalPort port(std::move(*password), !o.quiet);
  SecureWipe(*password);
  // Each file once, however often it was named.
  BatchFiles batch = PrepareBatch(o.files, folders.facts);
  o.files = std::move(batch.paths);
  BatchCounters& counters = batch.counters;
  int rc = 0;
  bool stopped = false;
  // Ctrl-C from here on stops at the next pause: the file at hand stays as
  // it was, and so do the files whose new versions wait for their group.
  StopOnInterrupt(true);
  CommitGroup group(port, settings.groups);
  for (const auto& file : o.files) {
    if ((stopped = port.StopRequested())) break;
    const FileRun run = RunFile(action, file, port, counters, group);
    if ((stopped = run.stopped)) break;
    if (!run.done) rc = 1;
  }
  if (stopped) group.Drop();
  if (!group.Flush()) rc = 1;
  StopOnInterrupt(false);
  if (!folders.leftOut.empty() && !o.quiet) Write(Stream::Err, "sealdoor-cli: " + folders.leftOut + "\n");
  if (stopped) {
    if (!o.quiet) Write(Stream::Err, "sealdoor-cli: " + StoppedLine(action, group.Placed(), o.files.size()) + "\n");
    return 130;
  }
  return folders.unreadable ? 1 : rc;
}

}  // namespace sealdoor::cli
