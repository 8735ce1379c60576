#include "engine/file_head.h"

#include <fcntl.h>

#include "engine/format.h"
#include "posix_io.h"

namespace sealdoor {

std::expected<std::vector<std::uint8_t>, Failure> ReadFileHead(const std::filesystem::path& path) {
  auto fd = io::Open(path, O_RDONLY | O_NONBLOCK);
  if (!fd) return std::unexpected(Failure::System(fd.error()));
  auto st = io::Fstat(fd->Get());
  if (!st) return std::unexpected(Failure::System(st.error()));
  if (S_ISDIR(st->st_mode)) return std::unexpected(Failure::Because("it is a folder"));
  if (!S_ISREG(st->st_mode)) return std::unexpected(Failure::Because("it is not a regular file"));
  std::vector<std::uint8_t> head(format::kHead);
  auto got = io::ReadFull(fd->Get(), head);
  if (!got) return std::unexpected(Failure::System(got.error()));
  head.resize(*got);
  return head;
}

}  // namespace sealdoor
