#include "engine/folder_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "posix_io.h"

namespace sealdoor {

struct FolderReader::Impl {
  io::UniqueFd dir;
  struct stat st {};
};

namespace {

std::unexpected<std::error_code> Error(int err) { return std::unexpected(std::error_code(err, std::generic_category())); }

FolderEntry::Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FolderEntry::Kind::File;
  if (S_ISDIR(mode)) return FolderEntry::Kind::Folder;
  if (S_ISLNK(mode)) return FolderEntry::Kind::Link;
  return FolderEntry::Kind::Special;
}

}  // namespace

FolderReader::FolderReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FolderReader::FolderReader(FolderReader&&) noexcept = default;
FolderReader& FolderReader::operator=(FolderReader&&) noexcept = default;
FolderReader::~FolderReader() = default;

std::expected<FolderReader, std::error_code> FolderReader::Open(const std::filesystem::path& path) {
  auto impl = std::make_unique<Impl>();
  auto dir = io::Open(path, O_RDONLY | O_DIRECTORY);
  if (!dir) return Error(dir.error().code);
  impl->dir = std::move(*dir);
  if (::fstat(impl->dir.Get(), &impl->st) != 0) return Error(errno);
  return FolderReader(std::move(impl));
}

std::expected<FolderReader, std::error_code> FolderReader::Child(const std::string& name) const {
  auto impl = std::make_unique<Impl>();
  auto dir = io::OpenAt(impl_->dir.Get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (!dir) return Error(dir.error().code);
  impl->dir = std::move(*dir);
  if (::fstat(impl->dir.Get(), &impl->st) != 0) return Error(errno);
  return FolderReader(std::move(impl));
}

FileIdentity FolderReader::Identity() const noexcept {
  return {static_cast<std::uint64_t>(impl_->st.st_dev), static_cast<std::uint64_t>(impl_->st.st_ino)};
}

std::expected<std::vector<FolderEntry>, std::error_code> FolderReader::Entries() const {
  const int copy = ::fcntl(impl_->dir.Get(), F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return Error(errno);
  DIR* d = ::fdopendir(copy);
  if (!d) {
    const int err = errno;
    ::close(copy);
    return Error(err);
  }
  ::rewinddir(d);
  std::vector<FolderEntry> entries;
  int err = 0;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(d);
    if (!e) {
      err = errno;
      break;
    }
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    entry.name = name;
    struct stat st {};
    if (::fstatat(impl_->dir.Get(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;  // gone meanwhile
      err = errno;
      break;
    }
    entry.kind = KindOf(st.st_mode);
    entry.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    entry.size = static_cast<std::uint64_t>(st.st_size);
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  if (err != 0) return Error(err);
  return entries;
}

std::optional<std::vector<std::uint8_t>> FolderReader::Head(const std::string& name, std::size_t bytes) const {
  auto fd = io::OpenAt(impl_->dir.Get(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (!fd) return std::nullopt;
  std::vector<std::uint8_t> head(bytes);
  auto got = io::PreadFull(fd->Get(), head, 0);
  if (!got) return std::nullopt;
  head.resize(*got);
  return head;
}

}  // namespace sealdoor
