#include "working_file_registry.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace sealdoor {
namespace {

struct Slot {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 in use
  // Meaningful while in use. Every member starts at zero, so the table
  // takes no room in the program file (2.4 MB of it did).
  int dirfd = 0;
  bool journal = false;
  char name[64] = {};
};

// As many as a group of files can name at once (two descriptors each, of
// the most the process is allowed to open); untouched slots cost no memory.
std::array<Slot, std::size_t{1} << 15> gSlots;
// Where the search for a free slot starts: just after the last one taken,
// so that a group of thousands does not search from the start each time.
std::atomic<std::size_t> gNext{0};

}  // namespace

int RegisterWorkingFile(int dirfd, std::string_view name, WorkingFileKind kind) noexcept {
  if (name.size() >= sizeof(Slot::name)) return -1;
  const std::size_t start = gNext.load(std::memory_order_relaxed);
  for (std::size_t n = 0; n < gSlots.size(); ++n) {
    const std::size_t i = (start + n) % gSlots.size();
    int free = 0;
    if (!gSlots[i].state.compare_exchange_strong(free, 1)) continue;
    gNext.store(i + 1, std::memory_order_relaxed);
    gSlots[i].dirfd = dirfd;
    gSlots[i].journal = kind == WorkingFileKind::Journal;
    std::memcpy(gSlots[i].name, name.data(), name.size());
    gSlots[i].name[name.size()] = '\0';
    gSlots[i].state.store(2);
    return static_cast<int>(i);
  }
  return -1;
}

void UnregisterWorkingFile(int ticket) noexcept {
  if (ticket >= 0 && static_cast<std::size_t>(ticket) < gSlots.size())
    gSlots[static_cast<std::size_t>(ticket)].state.store(0);
}

void RemoveRegisteredWorkingFiles() noexcept {
  for (const bool journals : {false, true})
    for (auto& slot : gSlots)
      if (slot.state.load() == 2 && slot.journal == journals) ::unlinkat(slot.dirfd, slot.name, 0);
}

}  // namespace sealdoor
