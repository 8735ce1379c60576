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
  int dirfd = -1;
  bool journal = false;
  char name[64] = {};
};

std::array<Slot, 512> gSlots;

}  // namespace

int RegisterWorkingFile(int dirfd, std::string_view name, WorkingFileKind kind) noexcept {
  if (name.size() >= sizeof(Slot::name)) return -1;
  for (std::size_t i = 0; i < gSlots.size(); ++i) {
    int free = 0;
    if (!gSlots[i].state.compare_exchange_strong(free, 1)) continue;
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
