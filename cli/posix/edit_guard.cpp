#include "cli/edit_guard.h"
#include "text/tr.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace sealdoor::cli {
namespace {

// The user's runtime folder, private to them; else the temporary folder,
// with the user in the name and the lock file checked to be theirs.
std::string GuardPath(const std::filesystem::path& file) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') return std::string(runtime) + "/" + EditGuardName(file);
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/" + EditGuardName(file) + "-" + std::to_string(::getuid());
}

}  // namespace

std::expected<EditGuard, std::string> EditGuard::Take(const std::filesystem::path& file) {
  const std::string path = GuardPath(file);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return std::unexpected(text::Fill(text::Tr("its edit lock {lock} could not be made: {reason}"),
                                                {{"lock", path}, {"reason", std::strerror(errno)}}));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != ::getuid() || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::unexpected(text::Fill(text::Tr("its edit lock {lock} belongs to another user"), {{"lock", path}}));
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    if (e == EWOULDBLOCK) return std::unexpected(text::Tr("another edit of it runs"));
    return std::unexpected(text::Fill(text::Tr("its edit lock {lock} could not be taken: {reason}"),
                                      {{"lock", path}, {"reason", std::strerror(e)}}));
  }
  // The file stays: removing it could let a second edit lock a new file of
  // the same name while the first still holds the old one.
  return EditGuard(fd);
}

EditGuard::EditGuard(EditGuard&& other) noexcept : handle_(other.handle_), held_(std::exchange(other.held_, false)) {}

EditGuard::~EditGuard() {
  if (held_) ::close(static_cast<int>(handle_));
}

}  // namespace sealdoor::cli
