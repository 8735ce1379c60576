#include <memory>
#include <mutex>
#include <vector>

#include "replacement_file.h"

namespace sealdoor {
namespace {

std::mutex gMutex;
int gHolders = 0;  // FolderRecords alive
std::vector<std::shared_ptr<void>> gKept;

}  // namespace

FolderRecords::FolderRecords() noexcept {
  const std::lock_guard lock(gMutex);
  ++gHolders;
}

// The records no working file needs any more go. Their removal is not
// synced (a sync of each folder more per batch): what they list is gone by
// now, and a record that a power cut brings back is replayed and removed
// by the next run in its folder like any other.
FolderRecords::~FolderRecords() {
  std::vector<std::shared_ptr<void>> kept;
  {
    const std::lock_guard lock(gMutex);
    if (--gHolders > 0) return;
    kept.swap(gKept);
  }
}  // each one goes here, outside the lock

void FolderRecords::Keep(std::shared_ptr<void> record) {
  const std::lock_guard lock(gMutex);
  if (gHolders > 0) gKept.push_back(std::move(record));
}

}  // namespace sealdoor
