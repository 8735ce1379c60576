#include "engine/win32/windows_h.h"

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/folder_journal.h"
#include "engine/journal.h"
#include "engine/replacement_file.h"
#include "engine/temp_names.h"
#include "source_impl.h"
#include "unique_handle.h"
#include "wide.h"

namespace sealdoor {
namespace {

// Opens `path` for its removal without sharing: fails while any process
// (a running run among them) has it open.
win32::UniqueHandle TakeAlone(const std::wstring& path, DWORD access) {
  return win32::UniqueHandle(::CreateFileW(path.c_str(), access | DELETE, 0, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Removes the file `h` was taken for. A version of ours may carry its
// file's read-only mark (a new version gets the file's attributes before
// it takes the file's place; an original moved aside keeps its own),
// which the system removes no file with: taken with the right to change
// its attributes, such a file is unmarked first.
bool RemoveTaken(HANDLE h) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = TRUE;
  if (::SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info)) return true;
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
      !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
    return false;
  basic.FileAttributes &= ~DWORD{FILE_ATTRIBUTE_READONLY};
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) &&
         ::SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info);
}

// The folder as a dead run's journal sees it: only names of ours are
// removed or moved, and only files nobody has open.
class Win32Folder final : public journal::Folder {
 public:
  explicit Win32Folder(std::wstring folder) : folder_(std::move(folder)) {}
  bool Exists(const std::string& name) override {
    return ::GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  bool Remove(const std::string& name) override {
    if (!IsWorkingFileName(name)) return false;
    const win32::UniqueHandle file = TakeAlone(Path(name), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    return file.Valid() && RemoveTaken(file.Get());
  }
  bool Rename(const std::string& from, const std::string& to) override {
    if (!IsWorkingFileName(from) || !TakeAlone(Path(from), 0).Valid()) return false;
    return ::MoveFileExW(Path(from).c_str(), Path(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
  }

 private:
  std::wstring Path(const std::string& name) const { return folder_ + L"\\" + win32::Widen(name); }
  std::wstring folder_;
};

// A journal of a run that is no longer running: replayed, then removed once
// nothing it lists is left. Only its records signed for this folder and this
// journal count.
std::vector<journal::KeptBeside> ReplayDeadJournal(const std::wstring& folder, const std::wstring& name) {
  const win32::UniqueHandle file = TakeAlone(folder + L"\\" + name, GENERIC_READ);
  if (!file.Valid()) return {};  // a running run holds it
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.Get(), &info) || info.nNumberOfLinks != 1) return {};
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > static_cast<LONGLONG>(journal::kMaxBytes)) return {};
  std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!text.empty() && (!::ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
                        got != text.size()))
    return {};
  // Killed between making its journal and listing anything in it: it holds
  // nothing that could be lost.
  if (journal::HoldsNothing(text)) {
    RemoveTaken(file.Get());
    return {};
  }
  const journal::Signer signer{JournalKey(), win32::Narrow(folder), win32::Narrow(name)};
  const auto contents = journal::Parse(text, signer);
  if (!contents) return {};  // a user's file that merely has such a name
  std::vector<std::string> listed = contents->working;
  for (const auto& b : contents->backups) listed.push_back(b.backup);
  for (const auto& k : contents->keep) listed.push_back(k.name);
  if (listed.empty()) return {};  // nothing in it proves it ours
  Win32Folder ops(folder);
  auto kept = journal::Replay(*contents, ops);
  for (const auto& each : listed)
    if (ops.Exists(each)) return kept;  // held, or would not go: the next run tries again
  RemoveTaken(file.Get());
  return kept;
}

}  // namespace

std::vector<Notice> RemoveLeftoverWorkingFiles(SourceFile& source) noexcept {
  std::vector<Notice> notices;
  try {
    const std::wstring& folder = source.Internals().folderPath;
    // Once per folder and process: a batch of many files in one folder must
    // not read the folder again for every file.
    static std::mutex mutex;
    static std::set<std::wstring> seen;
    {
      const std::lock_guard lock(mutex);
      if (!seen.insert(folder).second) return {};
    }
    std::vector<std::wstring> journals, marked;
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((folder + L"\\.sealdoor-*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return {};
    do {
      const std::string name = win32::Narrow(found.cFileName);
      if (IsJournalName(name)) journals.push_back(found.cFileName);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    for (const auto& j : journals)
      for (const auto& kept : ReplayDeadJournal(folder, j))
        notices.push_back(Notice::LeftByEarlierRunAt(source.Folder() / win32::Widen(kept.target),
                                                     source.Folder() / win32::Widen(kept.kept)));
  } catch (...) {
    // Cleaning up after others must never stop our own work.
  }
  return notices;
}

}  // namespace sealdoor
