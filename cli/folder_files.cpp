#include "folder_files.h"

#include "console.h"
#include "engine/folder_walk.h"
#include "name_quoting.h"

namespace sealdoor::cli {
namespace {

constexpr std::size_t kConfirmAbove = 1000;

}  // namespace

std::optional<FolderFiles> ExpandForCommand(const std::vector<std::string>& args, const std::string& command,
                                            bool quiet, bool yes, int& status) {
  const bool lock = command == "lock";
  std::optional<bool> wanted;
  if (command != "status") wanted = lock;
  const FolderBatch batch = ExpandFolders(args, wanted);
  FolderFiles out{batch.files, {}, !batch.unreadable.empty()};
  for (const auto& u : batch.unreadable)
    Write(Stream::Err, "sealdoor-cli: " + QuoteAlways(u.path) + " could not be read: " + u.reason + "\n");
  if (!batch.hadFolder || !wanted) return out;
  out.leftOut = batch.LeftOutLine(lock ? "already locked" : "not locked");
  const std::string count = CountOf(out.files.size(), "file", "files") + (lock ? " to lock" : " to unlock");
  if (!quiet && !out.files.empty()) Write(Stream::Err, "sealdoor-cli: " + count + "\n");
  if (out.files.size() > kConfirmAbove && !yes) {
    const auto answer = AskAnswer(std::string(lock ? "Lock" : "Unlock") + " them all? [y/N] ");
    if (!answer) {
      Write(Stream::Err, "sealdoor-cli: more than " + CountOf(kConfirmAbove, "file", "files") +
                             " want a yes on the terminal, or --yes\n");
      status = 2;
      return std::nullopt;
    }
    if (*answer != "y" && *answer != "Y" && *answer != "yes") {
      Write(Stream::Err, std::string("sealdoor-cli: nothing was ") + (lock ? "locked" : "unlocked") + "\n");
      status = 1;
      return std::nullopt;
    }
  }
  return out;
}

}  // namespace sealdoor::cli
