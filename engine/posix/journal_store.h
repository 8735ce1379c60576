#pragma once
#include <memory>

#include "engine/journal_store.h"
#include "folder.h"

namespace sealdoor {

// The journal of a folder, as a file in it.
[[nodiscard]] std::unique_ptr<JournalStore> MakeJournalStore(std::shared_ptr<Folder> folder);

}  // namespace sealdoor
