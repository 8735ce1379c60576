#include "folder_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

#include "engine/journal.h"
#include "engine/temp_names.h"
#include "working_file_registry.h"

namespace sealdoor {
namespace {

// Names listed at once for working files that need a name from the start:
// one sync of the journal for this many files.
constexpr int kDurableBatch = 32;

std::mutex gMutex;
std::map<std::pair<dev_t, ino_t>, std::weak_ptr<FolderJournal>> gJournals;

bool Free(int dir, const std::string& name) {
  struct stat st {};
  return ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

}  // namespace

std::expected<std::shared_ptr<FolderJournal>, int> FolderJournal::For(int dir) {
  auto dirSt = io::Fstat(dir);
  if (!dirSt) return std::unexpected(dirSt.error());
  const std::lock_guard lock(gMutex);
  std::erase_if(gJournals, [](const auto& entry) { return entry.second.expired(); });
  auto& slot = gJournals[{dirSt->st_dev, dirSt->st_ino}];
  if (auto existing = slot.lock()) return existing;

  std::shared_ptr<FolderJournal> journal(new FolderJournal);
  const int copy = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return std::unexpected(errno);
  journal->dir_ = io::UniqueFd(copy);
  journal->device_ = dirSt->st_dev;
  for (int attempt = 0;; ++attempt) {
    if (attempt == 100) return std::unexpected(EEXIST);
    std::string name = JournalName(journal->random_);
    auto fd = io::OpenAt(copy, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND, 0600);
    if (!fd) {
      if (fd.error() == EEXIST) continue;
      return std::unexpected(fd.error());
    }
    // Locked before anything is listed: another run's cleanup takes only
    // journals whose lock it gets. If one took this one in the instant
    // before, it is no longer under its name, and we make another.
    (void)::flock(fd->Get(), LOCK_EX);
    struct stat named {};
    const auto held = io::Fstat(fd->Get());
    if (!held || ::fstatat(copy, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_ino != held->st_ino)
      continue;
    journal->file_ = std::move(*fd);
    journal->name_ = std::move(name);
    break;
  }
  journal->ticket_ = RegisterWorkingFile(copy, journal->name_, WorkingFileKind::Journal);
  if (auto r = journal->Append(std::string(journal::kHeader)); !r) return std::unexpected(r.error());
  slot = journal;
  FolderRecords::Keep(journal);
  return journal;
}

FolderJournal::~FolderJournal() {
  // Whatever it listed is gone by now, or is removed by a later run all the
  // same: a journal that stays after a crash only costs that run a look.
  if (!name_.empty()) ::unlinkat(dir_.Get(), name_.c_str(), 0);
  UnregisterWorkingFile(ticket_);
}

io::Result FolderJournal::Append(const std::string& records) {
  synced_ = false;
  return io::WriteAll(file_.Get(), std::span(reinterpret_cast<const std::uint8_t*>(records.data()), records.size()));
}

std::expected<std::string, int> FolderJournal::Reserve() {
  while (!spare_.empty()) {
    std::string name = std::move(spare_.back());
    spare_.pop_back();
    if (Free(dir_.Get(), name)) return name;
  }
  std::vector<std::string> names;
  std::string records;
  for (int attempt = 0; static_cast<int>(names.size()) < kDurableBatch && attempt < 100 * kDurableBatch; ++attempt) {
    std::string name = std::string(kWorkingPrefix) + DrawTempFileName(random_);
    if (std::find(names.begin(), names.end(), name) != names.end() || !Free(dir_.Get(), name)) continue;
    records += journal::WorkingRecord(name);
    names.push_back(std::move(name));
  }
  if (names.empty()) return std::unexpected(EEXIST);
  if (auto r = Append(records); !r) return std::unexpected(r.error());
  if (auto r = Sync(); !r) return std::unexpected(r.error());
  std::string first = std::move(names.front());
  spare_.insert(spare_.end(), std::make_move_iterator(names.begin() + 1), std::make_move_iterator(names.end()));
  return first;
}

std::expected<std::vector<std::string>, int> FolderJournal::ReserveUnsynced(std::size_t count) {
  std::vector<std::string> names;
  std::string records;
  names.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    names.push_back(std::string(kWorkingPrefix) + DrawTempFileName(random_));
    records += journal::WorkingRecord(names.back());
  }
  if (auto r = Append(records); !r) return std::unexpected(r.error());
  return names;
}

io::Result FolderJournal::Sync() {
  if (synced_) return {};
  if (auto r = io::Fsync(file_.Get()); !r) return r;
  if (!nameSynced_) {
    if (auto r = io::Fsync(dir_.Get()); !r) return r;
    nameSynced_ = true;
  }
  synced_ = true;
  return {};
}

void FolderJournal::MarkSynced() noexcept {
  synced_ = true;
  nameSynced_ = true;
}

}  // namespace sealdoor
