#pragma once
// The names under which this process has working files in the file system
// right now, so that an interrupt can remove them before the process ends.
// Removal runs inside a signal handler: fixed storage, no allocation.

#include <string_view>

namespace sealdoor {

// Journals go after every working file they list.
enum class WorkingFileKind { File, Journal };

// Returns a ticket for Unregister, or -1 when the table is full (the file
// then stays behind if the process is interrupted; a later run removes it).
[[nodiscard]] int RegisterWorkingFile(int dirfd, std::string_view name,
                                      WorkingFileKind kind = WorkingFileKind::File) noexcept;
void UnregisterWorkingFile(int ticket) noexcept;

// Async-signal-safe.
void RemoveRegisteredWorkingFiles() noexcept;

}  // namespace sealdoor
