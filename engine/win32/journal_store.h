#pragma once
#include <memory>
#include <string>

#include "engine/journal_store.h"

namespace sealdoor {

// The journal of the folder `folder` (an extended path, see long_path.h),
// as a hidden file in it.
[[nodiscard]] std::unique_ptr<JournalStore> MakeJournalStore(const std::wstring& folder);

}  // namespace sealdoor
