#include "engine/file_head.h"

#include <fcntl.h>
#include <sys/statfs.h>

#include <string>

#include "engine/format.h"
#include "file_kind.h"
#include "posix_io.h"

namespace sealdoor {

std::expected<std::vector<std::uint8_t>, Failure> ReadFileHead(const std::filesystem::path& path) {
  // What the path leads to is looked at first, without opening it.
  auto found = io::Open(path, O_PATH);
  if (!found) return std::unexpected(found.error());
  auto st = io::Fstat(found->Get());
  if (!st) return std::unexpected(st.error());
  struct statfs fsInfo {};
  const long fsType = ::fstatfs(found->Get(), &fsInfo) == 0 ? static_cast<long>(fsInfo.f_type) : 0;
  if (auto r = CheckFileOnDisk(*st, fsType); !r) return std::unexpected(r.error());
  // That very file, opened through what was found.
  auto fd = io::Open("/proc/self/fd/" + std::to_string(found->Get()), O_RDONLY | O_NONBLOCK);
  if (!fd) fd = io::Open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
  if (!fd) return std::unexpected(fd.error());
  auto now = io::Fstat(fd->Get());
  if (!now) return std::unexpected(now.error());
  if (now->st_ino != st->st_ino || now->st_dev != st->st_dev) return std::unexpected(Failure::Of(Failure::Kind::Changed));
  std::vector<std::uint8_t> head(format::kHead);
  auto got = io::ReadFull(fd->Get(), head);
  if (!got) return std::unexpected(got.error());
  head.resize(*got);
  return head;
}

}  // namespace sealdoor
