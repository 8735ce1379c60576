#pragma once
// What a process that handles passwords and rewrites files needs of its
// system, set once at start by the window and the command-line tool: no core
// dumps (they would hold the password), a file-size limit that fails a write
// instead of killing the process, and on an interrupt or a termination the
// working files removed and the terminal restored before the process ends
// with the conventional status.

#include <cstddef>

namespace sealdoor {

void GuardProcess() noexcept;

// How many files the process may have open (a group of files waiting to be
// committed must stay well within it).
[[nodiscard]] std::size_t OpenFileBudget() noexcept;

// A function the interrupt handler calls before the process ends, such as
// one that turns a terminal's echo back on; nullptr for none. It runs inside
// a signal handler, so it may only make async-signal-safe calls.
using InterruptCleanup = void (*)() noexcept;
void SetInterruptCleanup(InterruptCleanup cleanup) noexcept;

}  // namespace sealdoor
