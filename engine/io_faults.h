#pragma once
// One seam for tests: a hook that can make any of the engine's file system
// calls fail, on every system.

namespace sealdoor::io {

// The calls a fault can be injected into. NamelessFile is the creation of
// a working file without a name; failing it with EOPNOTSUPP makes the
// engine use a named one, as on file systems that have no nameless files.
enum class Op { Open, Read, Write, Fsync, Rename, Chmod, Allocate, NamelessFile, Unlink };

// Returns a system error code to make the call fail with, or 0 to let it run.
using FaultHook = int (*)(Op);
void SetFaultHook(FaultHook hook) noexcept;

// The error the hook asks for, or 0.
[[nodiscard]] int Injected(Op op) noexcept;

}  // namespace sealdoor::io
