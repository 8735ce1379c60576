#include "commit_group.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "path_text.h"
#include "process_guard.h"

namespace sealdoor {
namespace {

// A failure as the user is told of it: for a file another program changed,
// replaced or deleted meanwhile, our version is kept beside theirs.
Notice Describe(PendingReplacement& p, Failure f) {
  Notice n{Notice::What::Failed, p.action, p.path, std::move(f), {}};
  if (n.failure.Placed()) {
    n.what = Notice::What::Untidy;
    // What had to stay is named by where it is.
    if (!n.failure.name.empty()) n.failure.name = PathText(p.source.Folder() / PathFromText(n.failure.name));
  } else if (n.failure.ByAnotherProgram()) {
    if (auto kept = p.replacement.KeepBeside(std::string(TraitsOf(p.action).keptBesideSuffix))) {
      n.what = Notice::What::KeptBeside;
      n.kept = p.source.Folder() / *kept;
    }
  }
  return n;
}

}  // namespace

CommitGroup::Limits CommitGroup::DefaultLimits() {
  // The folders and journals a batch keeps open, and the process's own.
  constexpr std::size_t kElsewhere = 2 * BatchScope::kRecent + 64;
  Limits limits;
  const std::size_t budget = OpenFileBudget();
  // A group's files take their places one after another with no pause for
  // the window (no painting, no Stop heard): 1,024 small files take about
  // a tenth of a second, 8,192 took most of a second.
  limits.files = 1024;
  limits.descriptors = budget > kElsewhere ? budget - kElsewhere : 0;
  return limits;
}

CommitGroup::CommitGroup(WindowPort& window, Limits limits) : window_(window), limits_(limits) { scope_.emplace(); }

CommitGroup::~CommitGroup() {
  pending_.clear();
  (void)ReplacementFile::SyncWaitingFolders();  // nobody left to tell: the batch was abandoned
}

void CommitGroup::MakeRoomFor(std::uint64_t bytes) {
  if (!pending_.empty() && bytes_ + bytes + kBytesPerFile > limits_.bytes) Commit();
}

void CommitGroup::Add(PendingReplacement pending) {
  action_ = pending.action;
  bytes_ += pending.bytes + kBytesPerFile;
  folders_.insert(pending.source.Folder());
  pending_.push_back(std::move(pending));
  // Room left for the next file, in a folder of its own (four descriptors).
  const std::size_t held = 2 * pending_.size() + 2 * folders_.size();
  if (pending_.size() >= limits_.files || bytes_ >= limits_.bytes || held + 4 > limits_.descriptors) Commit();
}

void CommitGroup::Drop() {
  pending_.clear();
  folders_.clear();
  bytes_ = 0;
}

bool CommitGroup::Flush() {
  Commit();
  // The batch says it is done only once every folder's new names are on
  // the disk.
  for (const auto& f : ReplacementFile::SyncWaitingFolders()) {
    window_.Report({Notice::What::FolderNotSynced, action_, f.folder, f.failure, {}});
    failed_ = true;
  }
  scope_.reset();
  scope_.emplace();
  return !std::exchange(failed_, false);
}

void CommitGroup::Commit() {
  if (pending_.empty()) return;
  std::vector<Notice> notices;
  // Durable together first: nothing takes a place before all of it is on the disk.
  std::vector<ReplacementFile*> all;
  for (auto& p : pending_) all.push_back(&p.replacement);
  const std::vector<std::optional<Failure>> synced = ReplacementFile::SyncAll(all);
  // Each folder once, by the first of its files, and whether any of its
  // files took its place.
  struct Folder {
    std::filesystem::path path;
    ReplacementFile* by;
    bool placed = false;
  };
  std::vector<Folder> folders;                          // in the order met
  std::map<std::filesystem::path, std::size_t> folderAt;  // a group may span thousands
  std::vector<std::optional<Failure>> failed(pending_.size());
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    PendingReplacement& p = pending_[i];
    if (synced[i]) {
      failed[i] = synced[i];
    } else if (auto r = p.replacement.Commit(); !r) {
      failed[i] = r.error();
    }
  }
  // Only then each original goes, after a last look: a writer that came to
  // any of them while the group was put in place gets its file back.
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    PendingReplacement& p = pending_[i];
    if (!failed[i]) {
      if (auto r = p.replacement.Finish(); !r) failed[i] = r.error();
    }
    const auto [at, added] = folderAt.try_emplace(p.source.Folder(), folders.size());
    if (added) folders.push_back({p.source.Folder(), &p.replacement});
    Folder* const folder = &folders[at->second];
    if (p.replacement.Placed()) {
      folder->placed = true;
      ++placed_;
    }
    if (failed[i]) notices.push_back(Describe(p, *failed[i]));
  }
  // Whatever is not in its place goes, and the journals that listed it:
  // then one sync of each folder puts all of that on the disk together
  // with the new names.
  for (auto& p : pending_) p.replacement.Close();
  for (const Folder& f : folders) {
    if (!f.placed) continue;  // nothing new to make durable
    if (auto r = f.by->SyncFolder(/*canWait=*/true); !r)
      notices.push_back({Notice::What::FolderNotSynced, pending_.front().action, f.path, r.error(), {}});
  }
  pending_.clear();  // every file let go before anyone is told anything
  folders_.clear();
  bytes_ = 0;
  for (const auto& n : notices) window_.Report(n);
  if (!notices.empty()) failed_ = true;
}

}  // namespace sealdoor
