// The floor for rewriting a file in place durably, with no transform at all:
// read it, write a nameless file in its folder (write-back started early),
// sync it, give it a name, rename it over the original, sync the folder.
// What sealdoor-cli does to a large file, minus the scrambling and the
// checks.
//
//   ideal_rewrite FILE

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string path = argv[1];
  const std::string folder = path.substr(0, path.rfind('/') + 1);
  const int in = ::open(path.c_str(), O_RDONLY);
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  const int out = ::openat(dir, ".", O_TMPFILE | O_WRONLY, 0600);
  if (in < 0 || dir < 0 || out < 0) return 1;
  std::vector<char> buf(54u << 16);
  off_t written = 0, flushed = 0;
  for (ssize_t n; (n = ::read(in, buf.data(), buf.size())) > 0;) {
    if (::write(out, buf.data(), static_cast<std::size_t>(n)) != n) return 1;
    written += n;
    if (written - flushed >= (8 << 20)) {
      ::sync_file_range(out, flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
      flushed = written;
    }
  }
  if (::fsync(out) != 0) return 1;
  const std::string self = "/proc/self/fd/" + std::to_string(out);
  const std::string temp = path + ".ideal-tmp";
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) != 0) return 1;
  if (::rename(temp.c_str(), path.c_str()) != 0) return 1;
  ::fsync(dir);
  return 0;
}
