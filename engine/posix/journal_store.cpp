#include "journal_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "working_file_registry.h"

namespace sealdoor {
namespace {

class PosixJournalStore final : public JournalStore {
 public:
  explicit PosixJournalStore(std::shared_ptr<Folder> folder) : folder_(std::move(folder)) {}
  ~PosixJournalStore() override { UnregisterWorkingFile(ticket_); }

  const std::string& FolderId() const override { return folder_->Id(); }

  std::expected<void, Failure> Create(const std::string& name) override {
    auto fd = io::OpenAt(Dir(), name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND, 0600);
    if (!fd) return std::unexpected(fd.error());
    // Locked before anything is listed: another run's cleanup takes only
    // journals whose lock it gets. One that found it in the instant before
    // has it (and removes it, empty as it is): another name is made. A
    // system that refuses the lock cannot keep another run away.
    if (::flock(fd->Get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) return std::unexpected(Failure::System(EEXIST));
      const int err = errno;
      // Empty: where it will not go, a later run removes it as a journal
      // that lists nothing.
      ::unlinkat(Dir(), name.c_str(), 0);
      return std::unexpected(Failure::System(err));
    }
    // If a cleanup took the name in the instant before, it is no longer
    // ours under it: another is made.
    struct stat named {};
    const auto held = io::Fstat(fd->Get());
    if (!held || ::fstatat(Dir(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_ino != held->st_ino)
      return std::unexpected(Failure::System(EEXIST));
    file_ = std::move(*fd);
    name_ = name;
    ticket_ = RegisterWorkingFile(Dir(), name_, WorkingFileKind::Journal);
    return {};
  }

  std::expected<void, Failure> Append(std::string_view text) override {
    return io::WriteAll(file_.Get(), std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }

  std::expected<void, Failure> Sync() override {
    if (auto r = io::Fsync(file_.Get()); !r) return r;
    if (!nameSynced_) {
      if (auto r = io::Fsync(Dir()); !r) return r;
      nameSynced_ = true;
    }
    return {};
  }

  bool Free(const std::string& name) override {
    struct stat st {};
    return ::fstatat(Dir(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
  }

  void Remove() noexcept override {
    // Not synced: see BatchScope. Where it will not go, it lists nothing
    // that is left, and a later run removes it.
    if (!name_.empty()) ::unlinkat(Dir(), name_.c_str(), 0);
  }

  void Leave() noexcept override {
    // Closing lets go of its lock: from now on it is a dead run's journal.
    // What it lists was synced before each file of that name was made; a
    // failing sync here loses at most its last records, which only name
    // versions kept beside (those stay where they are, hidden but whole).
    UnregisterWorkingFile(std::exchange(ticket_, -1));
    (void)io::Fsync(file_.Get());
  }

 private:
  int Dir() const noexcept { return folder_->dir.Get(); }

  std::shared_ptr<Folder> folder_;
  io::UniqueFd file_;
  std::string name_;
  int ticket_ = -1;
  bool nameSynced_ = false;
};

}  // namespace

std::unique_ptr<JournalStore> MakeJournalStore(std::shared_ptr<Folder> folder) {
  return std::make_unique<PosixJournalStore>(std::move(folder));
}

}  // namespace sealdoor
