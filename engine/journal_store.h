#pragma once
// A folder's journal file, as the journal (folder_journal.h) needs it: made
// anew and held, written to, synced, removed or left for a later run. One
// implementation per system.

#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "failure.h"

namespace sealdoor {

class JournalStore {
 public:
  virtual ~JournalStore() = default;

  // The folder's identity in the journal's signatures: the same for every
  // run that reaches the folder, whatever path it took.
  [[nodiscard]] virtual const std::string& FolderId() const = 0;

  // Makes the journal `name` anew (never through a link, never over a
  // file) and holds it, so that no other run takes it for a dead run's.
  // A name that is taken fails with an error of ErrorClass::Exists.
  [[nodiscard]] virtual std::expected<void, Failure> Create(const std::string& name) = 0;
  [[nodiscard]] virtual std::expected<void, Failure> Append(std::string_view text) = 0;
  // What was appended, and the first time the journal's own name, on the disk.
  [[nodiscard]] virtual std::expected<void, Failure> Sync() = 0;
  // Whether nothing stands under `name` in the folder.
  [[nodiscard]] virtual bool Free(const std::string& name) = 0;
  // The journal goes (it lists nothing that is still there).
  virtual void Remove() noexcept = 0;
  // The journal stays for a later run, which does what it asks (it lists
  // something that could not be tidied now).
  virtual void Leave() noexcept = 0;
};

}  // namespace sealdoor
