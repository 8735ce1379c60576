#include "folder_journal.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "batch_scope.h"
#include "system_error.h"
#include "temp_names.h"

namespace sealdoor {
namespace {

// Names listed at once, and synced once, for files that need a name from
// the start: enough that a folder of many such files pays one journal sync
// for a few dozen of them, few enough that the journal stays small.
constexpr std::size_t kNamesPerSync = 32;
// Names drawn before giving up on a folder where every name seems taken.
constexpr int kMostTries = 100;

std::mutex gMutex;
std::map<std::string, std::weak_ptr<FolderJournal>> gJournals;

bool Taken(const Failure& f) { return f.kind == Failure::Kind::System && ClassOf(f.code) == ErrorClass::Exists; }

}  // namespace

std::expected<std::shared_ptr<FolderJournal>, Failure> FolderJournal::For(std::unique_ptr<JournalStore> store) {
  const std::lock_guard lock(gMutex);
  std::erase_if(gJournals, [](const auto& entry) { return entry.second.expired(); });
  auto& slot = gJournals[store->FolderId()];
  if (auto existing = slot.lock()) {
    BatchScope::KeepRecent(existing);
    return existing;
  }

  std::shared_ptr<FolderJournal> journal(new FolderJournal(std::move(store)));
  journal->signer_.key = JournalKey();
  journal->signer_.folder = journal->store_->FolderId();
  for (int attempt = 0;; ++attempt) {
    std::string name = JournalName(journal->random_);
    auto made = journal->store_->Create(name);
    if (made) {
      journal->signer_.journal = std::move(name);
      break;
    }
    if (!Taken(made.error()) || attempt == kMostTries) return std::unexpected(made.error());
  }
  if (auto r = journal->store_->Append(journal::kHeader); !r) return std::unexpected(r.error());
  slot = journal;
  BatchScope::KeepRecent(journal);
  return journal;
}

FolderJournal::~FolderJournal() {
  // Whatever it listed is gone by now, or is removed by a later run all the
  // same: a journal that stays after a crash only costs that run a look.
  if (leave_)
    store_->Leave();
  else
    store_->Remove();
}

std::expected<void, Failure> FolderJournal::Append(std::string_view record) {
  synced_ = false;
  return store_->Append(signer_.Sign(record));
}

std::expected<void, Failure> FolderJournal::Note(std::string_view record) {
  if (auto r = Append(record); !r) return r;
  return Sync();
}

std::expected<void, Failure> FolderJournal::NoteUnsynced(std::string_view record) { return Append(record); }

std::expected<void, Failure> FolderJournal::Sync() {
  if (synced_) return {};
  if (auto r = store_->Sync(); !r) return r;
  synced_ = true;
  return {};
}

std::expected<std::string, Failure> FolderJournal::Reserve() {
  while (!spare_.empty()) {
    std::string name = std::move(spare_.back());
    spare_.pop_back();
    if (store_->Free(name)) return name;
  }
  std::vector<std::string> names;
  std::string records;
  for (int attempt = 0; names.size() < kNamesPerSync && attempt < kMostTries * static_cast<int>(kNamesPerSync);
       ++attempt) {
    std::string name = std::string(kWorkingPrefix) + DrawTempFileName(random_);
    if (std::find(names.begin(), names.end(), name) != names.end() || !store_->Free(name)) continue;
    records += signer_.Sign(journal::WorkingRecord(name));
    names.push_back(std::move(name));
  }
  if (names.empty()) return std::unexpected(Failure::Of(Failure::Kind::NoFreeName));
  synced_ = false;
  if (auto r = store_->Append(records); !r) return std::unexpected(r.error());
  if (auto r = Sync(); !r) return std::unexpected(r.error());
  std::string first = std::move(names.front());
  spare_.insert(spare_.end(), std::make_move_iterator(names.begin() + 1), std::make_move_iterator(names.end()));
  return first;
}

std::expected<std::vector<std::string>, Failure> FolderJournal::ReserveUnsynced(std::size_t count) {
  std::vector<std::string> names;
  std::string records;
  names.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    names.push_back(std::string(kWorkingPrefix) + DrawTempFileName(random_));
    records += signer_.Sign(journal::WorkingRecord(names.back()));
  }
  synced_ = false;
  if (auto r = store_->Append(records); !r) return std::unexpected(r.error());
  return names;
}

std::expected<std::string, Failure> FolderJournal::MakeNamed(
    const std::function<std::expected<void, Failure>(const std::string&)>& create) {
  for (int attempt = 0;; ++attempt) {
    auto name = Reserve();
    if (!name) return name;
    auto made = create(*name);
    if (made) return name;
    if (!Taken(made.error()) || attempt == kMostTries) return std::unexpected(made.error());
  }
}

}  // namespace sealdoor
