#include "win32_io.h"

#include <algorithm>

namespace sealdoor::io {
namespace {

std::unexpected<Failure> LastError() { return std::unexpected(Failure::System(static_cast<int>(::GetLastError()))); }

// ReadFile and WriteFile take at most a DWORD's worth at a time.
constexpr std::size_t kMostAtOnce = std::size_t{1} << 30;

OVERLAPPED At(std::uint64_t where) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(where);
  at.OffsetHigh = static_cast<DWORD>(where >> 32);
  return at;
}

}  // namespace

Result Step(Op op) {
  if (const int e = Injected(op)) return std::unexpected(Failure::System(e));
  return {};
}

std::expected<std::size_t, Failure> ReadAt(HANDLE file, std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (auto r = Step(Op::Read); !r) return std::unexpected(r.error());
  std::size_t got = 0;
  while (got < buffer.size()) {
    OVERLAPPED at = At(offset + got);
    const DWORD want = static_cast<DWORD>(std::min(buffer.size() - got, kMostAtOnce));
    DWORD n = 0;
    if (!::ReadFile(file, buffer.data() + got, want, &n, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      return LastError();
    }
    if (n == 0) break;
    got += n;
  }
  return got;
}

Result WriteAt(HANDLE file, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (auto r = Step(Op::Write); !r) return r;
  std::size_t done = 0;
  while (done < bytes.size()) {
    OVERLAPPED at = At(offset + done);
    const DWORD want = static_cast<DWORD>(std::min(bytes.size() - done, kMostAtOnce));
    DWORD n = 0;
    if (!::WriteFile(file, bytes.data() + done, want, &n, &at)) return LastError();
    done += n;
  }
  return {};
}

Result Flush(HANDLE file) {
  if (auto r = Step(Op::Fsync); !r) return r;
  if (!::FlushFileBuffers(file)) return LastError();
  return {};
}

Result Reserve(HANDLE file, std::uint64_t size) {
  if (auto r = Step(Op::Allocate); !r) return r;
  FILE_ALLOCATION_INFO info{};
  info.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
  if (::SetFileInformationByHandle(file, FileAllocationInfo, &info, sizeof info)) return {};
  const DWORD err = ::GetLastError();
  if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL) return LastError();
  return {};  // a file system that cannot reserve: go on without
}

}  // namespace sealdoor::io
