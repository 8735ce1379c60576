#pragma once
// This process's journal in one folder (see engine/journal.h): made on the
// first need, locked for as long as it lives so that no other run takes it
// for a dead one, removed when the last working file that needed it is gone.

#include <sys/stat.h>

#include <expected>
#include <memory>
#include <string>
#include <vector>

#include "engine/random_source.h"
#include "engine/replacement_file.h"
#include "posix_io.h"

namespace sealdoor {

class FolderJournal {
 public:
  // The journal in the folder open as `dir` (the descriptor is duplicated).
  [[nodiscard]] static std::expected<std::shared_ptr<FolderJournal>, int> For(int dir);

  FolderJournal(const FolderJournal&) = delete;
  FolderJournal& operator=(const FolderJournal&) = delete;
  ~FolderJournal();  // removes the journal

  // A working-file name free in the folder, listed in the journal and on
  // the disk before this returns (the file is made at once).
  [[nodiscard]] std::expected<std::string, int> Reserve();
  // `count` working-file names listed in the journal, on the disk once Sync
  // runs or the whole file system is synced: for names given later (a
  // name that turns out taken then is replaced by one from Reserve).
  [[nodiscard]] std::expected<std::vector<std::string>, int> ReserveUnsynced(std::size_t count);

  // Whether nothing is listed that is not yet on the disk.
  [[nodiscard]] bool Synced() const noexcept { return synced_; }
  // The listing and, the first time, the journal's own name on the disk.
  [[nodiscard]] io::Result Sync();
  // For a sync of the whole file system, which covers the journal too.
  void MarkSynced() noexcept;

  [[nodiscard]] int Fd() const noexcept { return file_.Get(); }
  [[nodiscard]] dev_t Device() const noexcept { return device_; }

 private:
  FolderJournal() = default;
  [[nodiscard]] io::Result Append(const std::string& records);

  io::UniqueFd dir_;
  io::UniqueFd file_;
  std::string name_;
  int ticket_ = -1;
  dev_t device_ = 0;
  SystemRandom random_;
  std::vector<std::string> spare_;  // listed and durable, not yet used
  bool synced_ = false;
  bool nameSynced_ = false;
};

}  // namespace sealdoor
