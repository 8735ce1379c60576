// Making working files durable together, and the folders that name them:
// one sync of a file system for a group where it reaches the disk, the
// folders' syncs carried to the end of a batch.

#include <fcntl.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/batch_scope.h"
#include "replacement_impl.h"

namespace sealdoor {
namespace {

// Folders whose sync waits for the end of the batch, by file system: the
// next sync of the whole file system carries their new names, and the
// batch ends with one. Only one folder of each is held open for it, so a
// batch through more folders than the process may have files open can
// still wait for each of them.
struct WaitingSyncs {
  dev_t device = 0;
  std::shared_ptr<Folder> by;             // its handle reaches the file system
  std::set<std::string> folders;           // as reached, for messages
};
std::vector<WaitingSyncs> gWaiting;

}  // namespace

std::vector<std::optional<Failure>> ReplacementFile::SyncAll(std::span<ReplacementFile* const> files) {
  std::vector<std::optional<Failure>> result(files.size());
  // The names the nameless ones take for their exchange are listed first,
  // so that they are on the disk with everything else; one record of all
  // of them for each folder.
  for (std::size_t i = 0; i < files.size(); ++i) {
    Impl& w = *files[i]->impl_;
    if (!w.name.empty() || !w.reserved.empty()) continue;
    if (auto r = w.UseJournal(); !r) {
      result[i] = r.error();
      continue;
    }
    std::vector<std::size_t> same{i};
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      Impl& o = *files[j]->impl_;
      if (!o.name.empty() || !o.reserved.empty() || result[j] || o.source.folder != w.source.folder) continue;
      if (!o.journal) o.journal = w.journal;
      if (o.journal == w.journal) same.push_back(j);
    }
    auto names = w.journal->ReserveUnsynced(same.size());
    for (std::size_t k = 0; k < same.size(); ++k) {
      if (names)
        files[same[k]]->impl_->reserved = std::move((*names)[k]);
      else
        result[same[k]] = names.error();
    }
  }
  std::vector<bool> done(files.size(), false);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (done[i]) continue;
    const Impl& first = *files[i]->impl_;
    const dev_t device = first.source.st.st_dev;
    std::vector<std::size_t> same;
    for (std::size_t j = i; j < files.size(); ++j)
      if (!done[j] && files[j]->impl_->source.st.st_dev == device) same.push_back(j);
    // One sync of the whole file system, where it is known to reach the
    // disk: a journaling file system commits once for all (a file alone
    // syncs itself for less). A failing one is told of by each file's own
    // sync after it.
    const bool whole = same.size() > 1 && first.source.folder->syncFsTrusted && io::SyncFs(first.file.Get());
    for (const std::size_t j : same) {
      done[j] = true;
      Impl& w = *files[j]->impl_;
      if (whole) {
        if (w.journal) w.journal->MarkSynced();
      } else if (!result[j]) {
        if (auto r = io::Fsync(w.file.Get()); !r) result[j] = r.error();
      }
    }
    if (whole) continue;
    for (const std::size_t j : same) {
      Impl& w = *files[j]->impl_;
      if (result[j] || !w.journal || w.journal->Synced()) continue;
      if (auto r = w.journal->Sync(); !r) result[j] = r.error();
    }
    // A file whose journal could not be synced, for another file of it.
    for (const std::size_t j : same) {
      Impl& w = *files[j]->impl_;
      if (!result[j] && w.journal && !w.journal->Synced()) result[j] = Failure::System(EIO);
    }
  }
  return result;
}

std::expected<void, Failure> ReplacementFile::SyncFolder(bool canWait) noexcept {
  const std::shared_ptr<Folder>& folder = impl_->source.folder;
  // The next sync of the whole file system carries the new names too, and
  // the batch ends with one: a folder of many groups is synced once.
  if (canWait && folder->syncFsTrusted && BatchScope::Active()) {
    try {
      auto fs = std::find_if(gWaiting.begin(), gWaiting.end(),
                             [&](const WaitingSyncs& w) { return w.device == folder->st.st_dev; });
      if (fs == gWaiting.end()) fs = gWaiting.insert(gWaiting.end(), WaitingSyncs{folder->st.st_dev, folder, {}});
      fs->folders.insert(folder->path);
      return {};
    } catch (...) {
      // No memory to note it in: synced now instead.
    }
  }
  return io::Fsync(folder->dir.Get());
}

std::vector<FolderSyncFailure> ReplacementFile::SyncWaitingFolders() noexcept {
  std::vector<FolderSyncFailure> failed;
  for (const WaitingSyncs& fs : std::exchange(gWaiting, {})) {
    if (io::SyncFs(fs.by->dir.Get())) continue;
    // Which of them did not reach the disk: each on its own.
    for (const std::string& path : fs.folders) {
      io::Result r;
      if (path == fs.by->path)
        r = io::Fsync(fs.by->dir.Get());
      else if (auto dir = io::Open(path, O_RDONLY | O_DIRECTORY))
        r = io::Fsync(dir->Get());
      else
        r = std::unexpected(dir.error());
      if (!r) failed.push_back({path, r.error()});
    }
  }
  return failed;
}

}  // namespace sealdoor
