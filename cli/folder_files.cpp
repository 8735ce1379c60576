#include "folder_files.h"

#include "console.h"
#include "engine/folder_walk.h"
#include "name_quoting.h"
#include "text/action_texts.h"
#include "text/tr.h"
#include "text/window_texts.h"

namespace sealdoor::cli {
namespace {

constexpr std::size_t kConfirmAbove = 1000;

}  // namespace

std::expected<FolderFiles, int> ExpandForCommand(const std::vector<std::string>& args, std::optional<Action> action,
                                                 bool quiet, bool yes, bool oneFileSystem) {
  WalkOptions walk;
  if (action) walk.wantLocked = Locks(*action);
  walk.oneFileSystem = oneFileSystem;
  walk.goOn = [] { return !Interrupted(); };
  StopOnInterrupt(true);
  const FolderBatch batch = ExpandFolders(args, walk);
  StopOnInterrupt(false);
  if (batch.stopped) {
    if (!quiet)
      Write(Stream::Err, "sealdoor-cli: " + text::Tr("stopped while reading the folders; no file was changed") + "\n");
    return std::unexpected(130);
  }
  FolderFiles out{batch.files, batch.facts, {}, !batch.unreadable.empty()};
  for (const auto& u : batch.unreadable)
    Write(Stream::Err, "sealdoor-cli: " +
                           text::Fill(text::Tr("{path} could not be read: {reason}"),
                                      {{"path", QuoteAlways(u.path)}, {"reason", u.error.message()}}) +
                           "\n");
  if (!batch.hadFolder || !action) return out;
  const bool lock = Locks(*action);
  out.leftOut = text::LeftOut(batch, *action);
  if (!quiet && !out.files.empty()) Write(Stream::Err, "sealdoor-cli: " + text::ToDo(*action, out.files.size()) + "\n");
  if (out.files.size() > kConfirmAbove && !yes) {
    // The answer is y or n in every language: the prompt says so.
    const auto answer = AskAnswer((lock ? text::Tr("Lock them all?") : text::Tr("Unlock them all?")) + " [y/N] ");
    if (!answer) {
      Write(Stream::Err, "sealdoor-cli: " +
                             text::Fill(text::Tr("more than {files} want a yes on the terminal, or --yes"),
                                        {{"files", text::Files(kConfirmAbove)}}) +
                             "\n");
      return std::unexpected(2);
    }
    if (*answer != "y" && *answer != "Y" && *answer != "yes") {
      Write(Stream::Err,
            "sealdoor-cli: " + (lock ? text::Tr("nothing was locked") : text::Tr("nothing was unlocked")) + "\n");
      return std::unexpected(1);
    }
  }
  return out;
}

}  // namespace sealdoor::cli
