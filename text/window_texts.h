#pragma once
// The window's own sentences: the status line, its questions and its
// messages, each in the user's language.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/action.h"
#include "engine/folder_walk.h"
#include "tr.h"

namespace sealdoor::text {

// The window's fixed texts, in English as the sources write them; shown
// through Tr().
inline constexpr const char* kCaption = "Sealdoor";
inline constexpr const char* kInvalidCharacters =
    N("Invalid characters in password !\n\rEnter letters or digits only.");
inline constexpr const char* kWorking = N("\n\rWorking...  Plese wait...");
inline constexpr const char* kReadingFolders = N("\n\rReading the folders...");
inline constexpr const char* kStoppedReading = N("Stopped while the folders were read: no file was changed.");
inline constexpr const char* kOneAtATime = N("\"Unlock and Open\" takes one file at a time.");
inline constexpr const char* kNoTerminal = N("its program runs in a terminal, and no terminal program is installed");

// "These could not be read, and are left out:" and the lines, at most ten
// of them, then how many others.
[[nodiscard]] std::string LeftOutUnreadable(const std::vector<std::string>& lines);
// One line of that list: the path and why.
[[nodiscard]] std::string UnreadableLine(std::string_view path, std::string_view reason);

// What a stopped batch did: how many of its files took their new form.
[[nodiscard]] std::string Stopped(Action action, std::size_t done, std::size_t files);

// What a batch of several files had to say beyond its first message: how
// many were done, then each file not done with why, then the notes on
// files that were done.
struct BatchSummary {
  std::string heading;
  std::string list;
};
[[nodiscard]] BatchSummary Summary(Action action, std::size_t done, std::size_t files,
                                   const std::vector<std::string>& failures, const std::vector<std::string>& notes);

// The status line while files from outside wait for a button.
[[nodiscard]] std::string Waiting(std::optional<Action> action, std::size_t files, std::size_t folders,
                                  bool passwordTyped);

// The status line when a desktop menu asks for an action without files.
[[nodiscard]] std::string ActionAsked(Action action, bool passwordTyped);
// The line under the first waiting request that names the others' actions.
// A file "Unlock and Open" left open unlocked, waiting for Lock Files;
// `name` is the file's name alone.
[[nodiscard]] std::string OpenUnlocked(std::string_view name, bool passwordTyped);
// Its program ended, and the window locked it again by itself.
[[nodiscard]] std::string LockedAgain(std::string_view name);
[[nodiscard]] std::string AlsoWaiting(const std::vector<std::optional<Action>>& others);

// "5 files to lock": the count a folder batch begins with.
[[nodiscard]] std::string ToDo(Action action, std::size_t files);
// "No file to lock.", then what was left out, if anything.
[[nodiscard]] std::string NothingToDo(Action action, std::string_view leftOut);
// The question before more than a thousand files of folders.
[[nodiscard]] std::string ConfirmMany(Action action, std::size_t files, std::size_t folders);
// One line of what a folder's walk left out, or empty.
[[nodiscard]] std::string LeftOut(const FolderBatch& batch, Action action);

// The question before a lock with a password one slip away from that of
// locked files beside.
[[nodiscard]] std::string NearPassword(bool caseOnly, std::size_t folders);

// "Unlock and Open" could not start the file's program.
[[nodiscard]] std::string CouldNotStart(std::string_view path, std::string_view reason);
[[nodiscard]] std::string NotRegistered(std::string_view path);

}  // namespace sealdoor::text
