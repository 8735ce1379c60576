#include "replacement_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "temp_names.h"

namespace sealdoor {

std::string Failure::Reason() const { return code != 0 ? io::ErrorText(code) : text; }

ReplacementFile::ReplacementFile(io::UniqueFd dir, io::UniqueFd file, std::string name)
    : dir_(std::move(dir)), file_(std::move(file)), name_(std::move(name)) {}

ReplacementFile::ReplacementFile(ReplacementFile&& o) noexcept
    : dir_(std::move(o.dir_)),
      file_(std::move(o.file_)),
      name_(std::move(o.name_)),
      written_(o.written_),
      flushed_(o.flushed_),
      done_(o.done_) {
  o.done_ = true;
}

std::expected<ReplacementFile, Failure> ReplacementFile::Create(const std::filesystem::path& folder,
                                                                RandomSource& random) {
  auto dir = io::Open(folder.empty() ? std::filesystem::path(".") : folder,
                      O_RDONLY | O_DIRECTORY);
  if (!dir) return std::unexpected(Failure{dir.error(), {}});
  // A drawn name that is taken is drawn again; give up after many tries
  // rather than loop for ever on a folder that refuses every name.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = std::string(kWorkingPrefix) + DrawTempFileName(random);
    auto fd = io::OpenAt(dir->Get(), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd) {
      // Held until the process ends, so a cleanup by another run can tell a
      // live working file from a leftover.
      (void)::flock(fd->Get(), LOCK_EX | LOCK_NB);
      return ReplacementFile(std::move(*dir), std::move(*fd), std::move(name));
    }
    if (fd.error() != EEXIST) return std::unexpected(Failure{fd.error(), {}});
  }
  return std::unexpected(Failure{EEXIST, {}});
}

ReplacementFile::~ReplacementFile() {
  if (!done_ && dir_.Valid()) ::unlinkat(dir_.Get(), name_.c_str(), 0);
}

io::Result ReplacementFile::Reserve(std::uint64_t bytes) {
  return io::Allocate(file_.Get(), static_cast<off_t>(bytes));
}

io::Result ReplacementFile::Write(std::span<const std::uint8_t> bytes) {
  if (auto r = io::WriteAll(file_.Get(), bytes); !r) return r;
  written_ += bytes.size();
  // Start writing back what we have so far, so the disk works while we go
  // on and the final sync has little left to wait for. Errors show there.
  constexpr std::uint64_t kWriteBackEvery = 8u << 20;
  if (written_ - flushed_ >= kWriteBackEvery) {
    (void)::sync_file_range(file_.Get(), static_cast<off_t>(flushed_), static_cast<off_t>(written_ - flushed_),
                            SYNC_FILE_RANGE_WRITE);
    flushed_ = written_;
  }
  return {};
}

std::expected<void, Failure> ReplacementFile::Prepare(const struct stat& original) {
  if (auto r = io::Fsync(file_.Get()); !r) return std::unexpected(Failure{r.error(), {}});
  // Owner first: changing the owner clears set-id bits, the mode puts them back.
  if (::fchown(file_.Get(), original.st_uid, original.st_gid) != 0) {
    // Not allowed to give the file away (we are not root): keep our group
    // at least where we may, and go on; the content is still the user's.
    (void)::fchown(file_.Get(), static_cast<uid_t>(-1), original.st_gid);
  }
  if (auto r = io::Fchmod(file_.Get(), original.st_mode & 07777); !r)
    return std::unexpected(Failure{r.error(), {}});
  return {};
}

std::expected<void, Failure> ReplacementFile::Commit(const std::string& targetName,
                                                     const struct stat& original) {
  if (auto r = Prepare(original); !r) return r;
  if (auto r = io::RenameAt(dir_.Get(), name_, targetName); !r)
    return std::unexpected(Failure{r.error(), {}});
  done_ = true;
  // The rename is done; a failing folder sync cannot undo it, and the file
  // is whole either way.
  (void)io::Fsync(dir_.Get());
  return {};
}

std::expected<std::string, Failure> ReplacementFile::KeepBeside(const std::string& baseName,
                                                                const struct stat& original) {
  if (auto r = Prepare(original); !r) return std::unexpected(r.error());
  for (int n = 1; n < 100; ++n) {
    const std::string name = n == 1 ? baseName : baseName + " (" + std::to_string(n) + ")";
    // Never over an existing file: that could be the very version we keep this one beside.
    if (::renameat2(dir_.Get(), name_.c_str(), dir_.Get(), name.c_str(), RENAME_NOREPLACE) == 0) {
      done_ = true;
      (void)io::Fsync(dir_.Get());
      return name;
    }
    if (errno != EEXIST) return std::unexpected(Failure{errno, {}});
  }
  return std::unexpected(Failure{EEXIST, {}});
}

void RemoveLeftoverWorkingFiles(const std::filesystem::path& folder) noexcept {
  auto dir = io::Open(folder.empty() ? std::filesystem::path(".") : folder, O_RDONLY | O_DIRECTORY);
  if (!dir) return;
  const int dfd = ::dup(dir->Get());
  if (dfd < 0) return;
  DIR* d = ::fdopendir(dfd);
  if (!d) {
    ::close(dfd);
    return;
  }
  const uid_t me = ::geteuid();
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (!IsWorkingFileName(name)) continue;
    struct stat st {};
    if (::fstatat(dir->Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != me) continue;
    auto fd = io::OpenAt(dir->Get(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (!fd) continue;
    if (::flock(fd->Get(), LOCK_EX | LOCK_NB) != 0) continue;  // in use
    // Still the file we locked under that name?
    struct stat now {};
    const auto held = io::Fstat(fd->Get());
    if (!held || ::fstatat(dir->Get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (now.st_ino != held->st_ino || now.st_dev != held->st_dev) continue;
    ::unlinkat(dir->Get(), name.c_str(), 0);
  }
  ::closedir(d);
}

}  // namespace sealdoor
