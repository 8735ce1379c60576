#include "batch_scope.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace sealdoor {
namespace {

std::mutex gMutex;
int gScopes = 0;
std::vector<std::shared_ptr<void>> gKept;
std::vector<std::shared_ptr<void>> gRecent;  // the latest last

}  // namespace

BatchScope::BatchScope() noexcept {
  const std::lock_guard lock(gMutex);
  ++gScopes;
}

// What no working file needs any more goes. A journal's removal is not
// synced (a sync of each folder more per batch): what it lists is gone by
// now, and one that a power cut brings back is replayed and removed by the
// next run in its folder like any other.
BatchScope::~BatchScope() {
  std::vector<std::shared_ptr<void>> kept;
  {
    const std::lock_guard lock(gMutex);
    if (--gScopes > 0) return;
    kept.swap(gKept);
    kept.insert(kept.end(), std::make_move_iterator(gRecent.begin()), std::make_move_iterator(gRecent.end()));
    gRecent.clear();
  }
  // Last kept first: a folder's journal before the folder it lives in.
  while (!kept.empty()) kept.pop_back();
}

bool BatchScope::Active() noexcept {
  const std::lock_guard lock(gMutex);
  return gScopes > 0;
}

void BatchScope::Keep(std::shared_ptr<void> item) {
  const std::lock_guard lock(gMutex);
  if (gScopes > 0) gKept.push_back(std::move(item));
}

void BatchScope::KeepRecent(std::shared_ptr<void> item) {
  std::shared_ptr<void> dropped;  // let go of outside the lock: its destructor may keep things itself
  const std::lock_guard lock(gMutex);
  if (gScopes == 0) return;
  if (auto known = std::find(gRecent.begin(), gRecent.end(), item); known != gRecent.end()) {
    std::rotate(known, known + 1, gRecent.end());
    return;
  }
  if (gRecent.size() >= kRecent) {
    dropped = std::move(gRecent.front());
    gRecent.erase(gRecent.begin());
  }
  gRecent.push_back(std::move(item));
}

}  // namespace sealdoor
