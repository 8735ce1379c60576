#include "folder_journal.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <mutex>

#include "engine/journal.h"
#include "engine/replacement_file.h"
#include "engine/temp_names.h"
#include "wide.h"

namespace sealdoor {
namespace {

// Names listed at once for working files: one flush of the journal for
// this many files.
constexpr int kBatch = 16;

std::mutex gMutex;
std::map<std::wstring, std::weak_ptr<FolderJournal>> gJournals;

bool Free(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::wstring Key(std::wstring folder) {
  for (auto& c : folder) c = static_cast<wchar_t>(std::towlower(c));
  return folder;
}

}  // namespace

std::expected<std::shared_ptr<FolderJournal>, DWORD> FolderJournal::For(const std::wstring& folder) {
  const std::lock_guard lock(gMutex);
  std::erase_if(gJournals, [](const auto& entry) { return entry.second.expired(); });
  auto& slot = gJournals[Key(folder)];
  if (auto existing = slot.lock()) return existing;

  std::shared_ptr<FolderJournal> journal(new FolderJournal);
  journal->folder_ = folder;
  for (int attempt = 0;; ++attempt) {
    if (attempt == 100) return std::unexpected(DWORD{ERROR_FILE_EXISTS});
    const std::wstring path = folder + L"\\" + win32::Widen(JournalName(journal->random_));
    // Not shared: another run that finds it cannot open it while we live,
    // and so never takes it for the journal of a dead run.
    win32::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                           CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED,
                                           nullptr));
    if (!file.Valid()) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) continue;
      return std::unexpected(err);
    }
    journal->file_ = std::move(file);
    break;
  }
  if (auto r = journal->Note(std::string(journal::kHeader)); !r) return std::unexpected(r.error());
  slot = journal;
  FolderRecords::Keep(journal);
  return journal;
}

FolderJournal::~FolderJournal() {
  if (!file_.Valid()) return;
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = TRUE;
  ::SetFileInformationByHandle(file_.Get(), FileDispositionInfo, &info, sizeof info);
}

std::expected<void, DWORD> FolderJournal::Note(const std::string& records) {
  LARGE_INTEGER end{};
  if (!::SetFilePointerEx(file_.Get(), LARGE_INTEGER{}, &end, FILE_END)) return std::unexpected(::GetLastError());
  DWORD written = 0;
  if (!::WriteFile(file_.Get(), records.data(), static_cast<DWORD>(records.size()), &written, nullptr) ||
      written != records.size())
    return std::unexpected(::GetLastError());
  // Its data, and with it the record of its name, on the disk.
  if (!::FlushFileBuffers(file_.Get())) return std::unexpected(::GetLastError());
  return {};
}

std::expected<std::wstring, DWORD> FolderJournal::Reserve() {
  while (!spare_.empty()) {
    std::wstring name = std::move(spare_.back());
    spare_.pop_back();
    if (Free(folder_ + L"\\" + name)) return name;
  }
  std::vector<std::wstring> names;
  std::string records;
  for (int attempt = 0; static_cast<int>(names.size()) < kBatch && attempt < 100 * kBatch; ++attempt) {
    const std::string name = std::string(kWorkingPrefix) + DrawTempFileName(random_);
    std::wstring wide = win32::Widen(name);
    if (std::find(names.begin(), names.end(), wide) != names.end() || !Free(folder_ + L"\\" + wide)) continue;
    records += journal::WorkingRecord(name);
    names.push_back(std::move(wide));
  }
  if (names.empty()) return std::unexpected(DWORD{ERROR_FILE_EXISTS});
  if (auto r = Note(records); !r) return std::unexpected(r.error());
  std::wstring first = std::move(names.front());
  spare_.insert(spare_.end(), std::make_move_iterator(names.begin() + 1), std::make_move_iterator(names.end()));
  return first;
}

}  // namespace sealdoor
