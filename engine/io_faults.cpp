#include "io_faults.h"

#include <atomic>

namespace sealdoor::io {
namespace {
std::atomic<FaultHook> gHook{nullptr};
}  // namespace

void SetFaultHook(FaultHook hook) noexcept { gHook.store(hook); }

int Injected(Op op) noexcept {
  const FaultHook hook = gHook.load(std::memory_order_relaxed);
  return hook ? hook(op) : 0;
}

}  // namespace sealdoor::io
