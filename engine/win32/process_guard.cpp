#include "engine/process_guard.h"

#include "engine/win32/windows_h.h"

#include <atomic>

namespace sealdoor {
namespace {

std::atomic<InterruptCleanup> gCleanup{nullptr};

// Ctrl-C, Ctrl-Break, the console closing: the working file, marked for
// deletion, goes with the process; what else needs putting back is put back,
// and the process ends as the system ends it.
BOOL WINAPI OnConsoleEvent(DWORD) {
  if (const InterruptCleanup cleanup = gCleanup.load()) cleanup();
  return FALSE;
}

}  // namespace

void GuardProcess() noexcept {
  // No system message boxes for a missing disk and the like: we report.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void SetInterruptCleanup(InterruptCleanup cleanup) noexcept { gCleanup.store(cleanup); }

// Handles are plentiful on Windows.
std::size_t OpenFileBudget() noexcept { return 8192; }

}  // namespace sealdoor
