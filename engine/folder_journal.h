#pragma once
// This process's journal in one folder (journal.h): made on the first need,
// one per folder however many files of it are worked on, held for as long as
// it lives so that no other run takes it for a dead one's, and removed when
// the last working file that needed it is gone (or left for a later run when
// a name it lists has to stay).

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "failure.h"
#include "journal.h"
#include "journal_store.h"
#include "random_source.h"

namespace sealdoor {

class FolderJournal {
 public:
  // The journal of the folder `store` stands for: the one this process
  // keeps there already, else a new one in `store`.
  [[nodiscard]] static std::expected<std::shared_ptr<FolderJournal>, Failure> For(
      std::unique_ptr<JournalStore> store);
  FolderJournal(const FolderJournal&) = delete;
  FolderJournal& operator=(const FolderJournal&) = delete;
  ~FolderJournal();

  // A working-file name free in the folder, listed and on the disk before
  // this returns.
  [[nodiscard]] std::expected<std::string, Failure> Reserve();
  // `count` names listed, on the disk once Sync runs or the whole file
  // system is synced: for files made without a name, which take it later.
  [[nodiscard]] std::expected<std::vector<std::string>, Failure> ReserveUnsynced(std::size_t count);
  // A file made under a fresh listed name by `create`, which fails with an
  // error of ErrorClass::Exists where the name was taken meanwhile (then
  // another is tried). Returns the name.
  [[nodiscard]] std::expected<std::string, Failure> MakeNamed(
      const std::function<std::expected<void, Failure>(const std::string&)>& create);

  // Records (journal.h's kinds, one line each without its end), appended;
  // on the disk before Note returns.
  [[nodiscard]] std::expected<void, Failure> Note(std::string_view record);
  [[nodiscard]] std::expected<void, Failure> NoteUnsynced(std::string_view record);

  [[nodiscard]] bool Synced() const noexcept { return synced_; }
  [[nodiscard]] std::expected<void, Failure> Sync();
  // For a sync of the whole file system, which covers the journal too.
  void MarkSynced() noexcept { synced_ = true; }

  // A name it lists stays in the folder (a version that could not be
  // removed, or one to keep): the journal stays too, for the next run.
  void LeaveForLaterRun() noexcept { leave_ = true; }

 private:
  explicit FolderJournal(std::unique_ptr<JournalStore> store) : store_(std::move(store)) {}
  [[nodiscard]] std::expected<void, Failure> Append(std::string_view record);

  std::unique_ptr<JournalStore> store_;
  journal::Signer signer_;
  SystemRandom random_;
  std::vector<std::string> spare_;  // listed and durable, not yet used
  bool synced_ = false;
  bool leave_ = false;
};

// The key this user's journals are signed with, kept in the user's own
// files (made on first need). Where none can be kept, a key for this run
// only: its journals are then never trusted by a later run, which leaves
// what they list alone.
[[nodiscard]] const SipKey& JournalKey();

}  // namespace sealdoor
