#pragma once
// A fault hook for the length of a scope: a test that fails or returns
// early never leaves its hook to the tests after it.

#include "engine/io_faults.h"

namespace sealdoor::test {

class ScopedFaultHook {
 public:
  explicit ScopedFaultHook(io::FaultHook hook) noexcept { io::SetFaultHook(hook); }
  ~ScopedFaultHook() { io::SetFaultHook(nullptr); }
  ScopedFaultHook(const ScopedFaultHook&) = delete;
  ScopedFaultHook& operator=(const ScopedFaultHook&) = delete;
};

}  // namespace sealdoor::test
