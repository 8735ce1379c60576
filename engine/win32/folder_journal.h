#pragma once
// This process's journal in one folder (see engine/journal.h): made on the
// first need, held open without sharing so that no other run takes it for a
// dead one, removed when the last working file that needed it is gone.

#include <expected>
#include <memory>
#include <string>
#include <vector>

#include "engine/random_source.h"
#include "unique_handle.h"

namespace sealdoor {

class FolderJournal {
 public:
  // The journal in `folder` (an extended path, see long_path.h).
  [[nodiscard]] static std::expected<std::shared_ptr<FolderJournal>, DWORD> For(const std::wstring& folder);

  FolderJournal(const FolderJournal&) = delete;
  FolderJournal& operator=(const FolderJournal&) = delete;
  ~FolderJournal();  // removes the journal

  // A working-file name free in the folder, listed in the journal and on
  // the disk before this returns.
  [[nodiscard]] std::expected<std::wstring, DWORD> Reserve();
  // Records of journal.h's kinds, on the disk before this returns.
  [[nodiscard]] std::expected<void, DWORD> Note(const std::string& records);

 private:
  FolderJournal() = default;

  std::wstring folder_;
  win32::UniqueHandle file_;
  SystemRandom random_;
  std::vector<std::wstring> spare_;  // listed and on the disk, not yet used
};

}  // namespace sealdoor
