#pragma once
// For as long as one lives, what the engine learns of each folder (its
// handle, its file system, its journal) is kept from one file to the next
// rather than found again for each; when the last one goes, so does all of
// it. A batch holds one; a file worked on alone keeps nothing.

#include <cstddef>
#include <memory>

namespace sealdoor {

class BatchScope {
 public:
  BatchScope() noexcept;
  ~BatchScope();
  BatchScope(const BatchScope&) = delete;
  BatchScope& operator=(const BatchScope&) = delete;

  // Whether a batch is running: what is learned is worth keeping.
  [[nodiscard]] static bool Active() noexcept;
  // Keeps `item` until the last BatchScope goes (nothing while none lives).
  // Any type: only its lifetime matters here.
  static void Keep(std::shared_ptr<void> item);
  // Keeps `item` while it is among the kRecent last kept this way (kept
  // again, it is the latest once more): for what holds a descriptor, such
  // as a folder and its journal, so that a batch through more folders than
  // the process may have files open keeps only those it is working in.
  static void KeepRecent(std::shared_ptr<void> item);
  static constexpr std::size_t kRecent = 32;
};

}  // namespace sealdoor
