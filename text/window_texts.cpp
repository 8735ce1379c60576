#include "window_texts.h"

#include <algorithm>

#include "action_texts.h"
#include "tr.h"

namespace sealdoor::text {
namespace {

// A message lists at most this many names, then how many more.
constexpr std::size_t kListed = 10;

// "a, b and c" in the user's language.
std::string Joined(const std::vector<std::string>& parts) {
  std::string line;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) line += i + 1 == parts.size() ? Tr(" and ") : Tr(", ");
    line += parts[i];
  }
  return line;
}

}  // namespace

std::string LeftOutUnreadable(const std::vector<std::string>& lines) {
  std::string text = Tr("These could not be read, and are left out:");
  for (std::size_t i = 0; i < lines.size() && i < kListed; ++i) text += "\r\n" + lines[i];
  if (lines.size() > kListed)
    text += "\r\n" + Fill(TrN("... and {n} other", "... and {n} others", lines.size() - kListed),
                          {{"n", Number(lines.size() - kListed)}});
  return text;
}

std::string UnreadableLine(std::string_view path, std::string_view reason) {
  return Fill(Tr("'{path}': {reason}"), {{"path", path}, {"reason", reason}});
}

std::string Stopped(Action action, std::size_t done, std::size_t files) {
  const bool lock = Locks(action);
  if (files == 1)
    return Fill(lock ? Tr("Stopped: {done} of 1 file locked. The file was not changed.")
                     : Tr("Stopped: {done} of 1 file unlocked. The file was not changed."),
                {{"done", Number(done)}});
  return Fill(lock ? Tr("Stopped: {done} of {files} locked. The other files were not changed.")
                   : Tr("Stopped: {done} of {files} unlocked. The other files were not changed."),
              {{"done", Number(done)}, {"files", Files(files)}});
}

BatchSummary Summary(Action action, std::size_t done, std::size_t files, const std::vector<std::string>& failures,
                     const std::vector<std::string>& notes) {
  const bool lock = Locks(action);
  BatchSummary out;
  out.heading = Fill(lock ? Tr("{done} of {files} locked.") : Tr("{done} of {files} unlocked."),
                     {{"done", Number(done)}, {"files", Files(files)}});
  const auto section = [&out](std::string title, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    if (!out.list.empty()) out.list += "\r\n\r\n";
    out.list += title;
    for (const auto& line : lines) out.list += "\r\n" + line;
  };
  section(Fill(lock ? TrN("{n} file was not locked:", "{n} files were not locked:", failures.size())
                    : TrN("{n} file was not unlocked:", "{n} files were not unlocked:", failures.size()),
               {{"n", Number(failures.size())}}),
          failures);
  section(Tr("Done, with a note:"), notes);
  return out;
}

std::string Waiting(std::optional<Action> action, std::size_t files, std::size_t folders, bool passwordTyped) {
  std::string what;
  if (files && folders)
    what = Fill(Tr("{files} and {folders}"), {{"files", Files(files)}, {"folders", Folders(folders)}});
  else
    what = files ? Files(files) : Folders(folders);
  if (!action) {
    // Any button: "Unlock and Open" only for a single file.
    const bool one = files == 1 && folders == 0;
    if (passwordTyped)
      return Fill(one ? Tr("{what} waiting: press Lock Files, Unlock Files or Unlock and Open")
                      : Tr("{what} waiting: press Lock Files or Unlock Files"),
                  {{"what", what}});
    return Fill(one ? Tr("{what} waiting: type the password, then press Lock Files, Unlock Files or Unlock and Open")
                    : Tr("{what} waiting: type the password, then press Lock Files or Unlock Files"),
                {{"what", what}});
  }
  std::string pattern;
  switch (*action) {
    case Action::Lock:
      pattern = passwordTyped ? Tr("{what} to lock: press Lock Files")
                              : Tr("{what} to lock: type the password, then press Lock Files");
      break;
    case Action::Unlock:
      pattern = passwordTyped ? Tr("{what} to unlock: press Unlock Files")
                              : Tr("{what} to unlock: type the password, then press Unlock Files");
      break;
    case Action::UnlockAndOpen:
      pattern = passwordTyped ? Tr("{what} to unlock and open: press Unlock and Open")
                              : Tr("{what} to unlock and open: type the password, then press Unlock and Open");
      break;
  }
  return Fill(pattern, {{"what", what}});
}

std::string ActionAsked(Action action, bool passwordTyped) {
  switch (action) {
    case Action::Lock:
      return passwordTyped ? Tr("To lock files, press Lock Files")
                           : Tr("To lock files, type the password, then press Lock Files");
    case Action::Unlock:
      return passwordTyped ? Tr("To unlock files, press Unlock Files")
                           : Tr("To unlock files, type the password, then press Unlock Files");
    case Action::UnlockAndOpen:
      return passwordTyped ? Tr("To unlock and open a file, press Unlock and Open")
                           : Tr("To unlock and open a file, type the password, then press Unlock and Open");
  }
  return {};
}

std::string OpenUnlocked(std::string_view name, bool passwordTyped) {
  return Fill(passwordTyped ? Tr("'{name}' is open unlocked: Lock Files locks it again")
                            : Tr("'{name}' is open unlocked: type the password, then press Lock Files to lock it again"),
              {{"name", name}});
}

std::string LockedAgain(std::string_view name) {
  return Fill(Tr("'{name}' was closed, and is locked again"), {{"name", name}});
}

std::string AlsoWaiting(const std::vector<std::optional<Action>>& others) {
  std::vector<std::string> names;
  for (const auto& action : others) {
    std::string name;
    if (!action)
      name = Tr("files for any button");
    else if (*action == Action::Lock)
      name = Tr("files to lock");
    else if (*action == Action::Unlock)
      name = Tr("files to unlock");
    else
      name = Tr("a file to unlock and open");
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
  }
  return Fill(Tr("Also waiting: {list}"), {{"list", Joined(names)}});
}

std::string ToDo(Action action, std::size_t files) {
  return Fill(Locks(action) ? Tr("{files} to lock") : Tr("{files} to unlock"), {{"files", Files(files)}});
}

std::string NothingToDo(Action action, std::string_view leftOut) {
  std::string line = Locks(action) ? Tr("No file to lock.") : Tr("No file to unlock.");
  if (!leftOut.empty()) line += " " + std::string(leftOut);
  return line;
}

std::string ConfirmMany(Action action, std::size_t files, std::size_t folders) {
  const bool lock = Locks(action);
  const std::string count = ToDo(action, files);
  if (folders == 1)
    return Fill(lock ? Tr("There are {count} in the folder. Lock them all?")
                     : Tr("There are {count} in the folder. Unlock them all?"),
                {{"count", count}});
  return Fill(lock ? Tr("There are {count} in these folders. Lock them all?")
                   : Tr("There are {count} in these folders. Unlock them all?"),
              {{"count", count}});
}

std::string LeftOut(const FolderBatch& batch, Action action) {
  std::vector<std::string> parts;
  if (batch.alreadyDone)
    parts.push_back(Fill(Locks(action) ? Tr("{files} already locked") : Tr("{files} not locked"),
                         {{"files", Files(batch.alreadyDone)}}));
  if (batch.links)
    parts.push_back(Fill(TrN("{n} link", "{n} links", batch.links), {{"n", Number(batch.links)}}));
  if (batch.special)
    parts.push_back(
        Fill(TrN("{n} special file", "{n} special files", batch.special), {{"n", Number(batch.special)}}));
  if (batch.inUse)
    parts.push_back(Fill(Tr("{files} another run is working on"), {{"files", Files(batch.inUse)}}));
  if (batch.otherFileSystems)
    parts.push_back(Fill(TrN("{n} folder on another file system", "{n} folders on other file systems",
                             batch.otherFileSystems),
                         {{"n", Number(batch.otherFileSystems)}}));
  if (parts.empty()) return {};
  return Fill(Tr("Left as they were: {list}."), {{"list", Joined(parts)}});
}

std::string NearPassword(bool caseOnly, std::size_t folders) {
  if (caseOnly)
    return folders == 1 ? Tr("The password differs only in the case of its letters from the password of other locked "
                             "files in this folder. Lock with this password anyway?")
                        : Tr("The password differs only in the case of its letters from the password of other locked "
                             "files in these folders. Lock with this password anyway?");
  return folders == 1 ? Tr("The password differs by one character from the password of other locked files in this "
                           "folder. Lock with this password anyway?")
                      : Tr("The password differs by one character from the password of other locked files in these "
                           "folders. Lock with this password anyway?");
}

std::string CouldNotStart(std::string_view path, std::string_view reason) {
  return Fill(Tr("'{path}' could not be started: {reason}"), {{"path", path}, {"reason", reason}});
}

std::string NotRegistered(std::string_view path) {
  return Fill(Tr("'{path}' is not a registered type.\r\n\r\nThe file was unlocked, but could not be open !"),
              {{"path", path}});
}

}  // namespace sealdoor::text
