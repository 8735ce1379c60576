#include "posix_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

namespace sealdoor::io {
namespace {

std::unexpected<Failure> Fail(int err) { return std::unexpected(Failure::System(err)); }

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
  if (this != &o) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = o.Release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

int UniqueFd::Release() noexcept {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

std::expected<UniqueFd, Failure> Open(const std::filesystem::path& p, int flags, mode_t mode) {
  return OpenAt(AT_FDCWD, p.string(), flags, mode);
}

std::expected<UniqueFd, Failure> OpenAt(int dirfd, const std::string& name, int flags, mode_t mode) {
  if (const int e = Injected(Op::Open)) return Fail(e);
  int fd;
  do {
    fd = ::openat(dirfd, name.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail(errno);
  return UniqueFd(fd);
}

namespace {

// Calls `readSome(buffer, count, done)` until `buf` is full or it reports the end.
template <typename ReadSome>
std::expected<std::size_t, Failure> Fill(std::span<std::uint8_t> buf, ReadSome readSome) {
  if (const int e = Injected(Op::Read)) return Fail(e);
  std::size_t got = 0;
  while (got < buf.size()) {
    const ssize_t n = readSome(buf.data() + got, buf.size() - got, got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// Calls `writeSome(buffer, count, done)` until all of `buf` is written.
template <typename WriteSome>
Result Drain(std::span<const std::uint8_t> buf, WriteSome writeSome) {
  if (const int e = Injected(Op::Write)) return Fail(e);
  std::size_t done = 0;
  while (done < buf.size()) {
    const ssize_t n = writeSome(buf.data() + done, buf.size() - done, done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  return {};
}

}  // namespace

std::expected<std::size_t, Failure> ReadFull(int fd, std::span<std::uint8_t> buf) {
  return Fill(buf, [fd](std::uint8_t* p, std::size_t n, std::size_t) { return ::read(fd, p, n); });
}

std::expected<std::size_t, Failure> PreadFull(int fd, std::span<std::uint8_t> buf, off_t offset) {
  return Fill(buf, [fd, offset](std::uint8_t* p, std::size_t n, std::size_t done) {
    return ::pread(fd, p, n, offset + static_cast<off_t>(done));
  });
}

Result WriteAll(int fd, std::span<const std::uint8_t> buf) {
  return Drain(buf, [fd](const std::uint8_t* p, std::size_t n, std::size_t) { return ::write(fd, p, n); });
}

Result PwriteAll(int fd, std::span<const std::uint8_t> buf, off_t offset) {
  return Drain(buf, [fd, offset](const std::uint8_t* p, std::size_t n, std::size_t done) {
    return ::pwrite(fd, p, n, offset + static_cast<off_t>(done));
  });
}

Result Fsync(int fd) {
  if (const int e = Injected(Op::Fsync)) return Fail(e);
  if (::fsync(fd) != 0) return Fail(errno);
  return {};
}

Result SyncFs(int fd) {
  if (const int e = Injected(Op::Fsync)) return Fail(e);
  if (::syncfs(fd) != 0) return Fail(errno);
  return {};
}

Result Fchmod(int fd, mode_t mode) {
  if (const int e = Injected(Op::Chmod)) return Fail(e);
  if (::fchmod(fd, mode) != 0) return Fail(errno);
  return {};
}

Result RenameAt(int dirfd, const std::string& from, const std::string& to, unsigned flags) {
  if (const int e = Injected(Op::Rename)) return Fail(e);
  if (::renameat2(dirfd, from.c_str(), dirfd, to.c_str(), flags) != 0) return Fail(errno);
  return {};
}

Result UnlinkAt(int dirfd, const std::string& name) {
  if (const int e = Injected(Op::Unlink)) return Fail(e);
  if (::unlinkat(dirfd, name.c_str(), 0) != 0) return Fail(errno);
  return {};
}

Result Allocate(int fd, off_t offset, off_t length) {
  if (const int e = Injected(Op::Allocate)) return Fail(e);
  if (length <= 0) return {};
  // fallocate, not posix_fallocate: where the file system cannot reserve
  // space we go on without, rather than have the C library write zeros.
  if (::fallocate(fd, 0, offset, length) == 0) return {};
  if (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) return {};
  return Fail(errno);
}

// Where the file system refuses RENAME_NOREPLACE (FUSE, some
// network file systems): a second name then the first removed, or, where
// there are no second names, an empty file of ours made exclusively and
// replaced.
Result RenameNoReplace(int dir, const std::string& from, const std::string& to) {
  if (auto r = RenameAt(dir, from, to, RENAME_NOREPLACE); r) return {};
  else if (r.error().code != EINVAL && r.error().code != ENOSYS && r.error().code != EOPNOTSUPP) return r;
  if (::linkat(dir, from.c_str(), dir, to.c_str(), 0) == 0) {
    if (::unlinkat(dir, from.c_str(), 0) == 0) return {};
    // The file keeps its first name only, as before the call: a file under
    // two names would outlive the journal that lists the first.
    const int err = errno;
    ::unlinkat(dir, to.c_str(), 0);
    return Fail(err);
  }
  if (errno == EEXIST) return Fail(EEXIST);
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) return Fail(errno);
  auto placeholder = OpenAt(dir, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (!placeholder) return std::unexpected(placeholder.error());
  if (auto r = RenameAt(dir, from, to); !r) {
    // Ours, empty, and never anyone's file: it goes again.
    ::unlinkat(dir, to.c_str(), 0);
    return r;
  }
  return {};
}

std::expected<std::filesystem::path, Failure> FdPath(int fd) {
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink(link.c_str(), buf.data(), buf.size());
  if (n < 0) return Fail(errno);
  if (static_cast<std::size_t>(n) >= buf.size()) return Fail(ENAMETOOLONG);
  buf.resize(static_cast<std::size_t>(n));
  // Not a name in a folder at all (the caller checks that the file is
  // still under the name it finds).
  if (buf.empty() || buf.front() != '/') return Fail(ENOENT);
  return std::filesystem::path(buf);
}

std::expected<struct stat, Failure> Fstat(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Fail(errno);
  return st;
}

}  // namespace sealdoor::io
