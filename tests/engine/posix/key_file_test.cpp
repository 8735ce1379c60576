// The journal key's file: made once, private to the user, and trusted only
// while it stays so. A key that cannot be trusted is one for this run only,
// so a later run leaves what its journals list alone.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "../test_support.h"
#include "engine/key_file.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;

class StateHome {
 public:
  explicit StateHome(const fs::path& folder) {
    if (const char* old = std::getenv("XDG_STATE_HOME")) before_ = old;
    ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
  }
  ~StateHome() { before_ ? ::setenv("XDG_STATE_HOME", before_->c_str(), 1) : ::unsetenv("XDG_STATE_HOME"); }

 private:
  std::optional<std::string> before_;
};

SipKey Key() {
  const auto file = OpenKeyFile();
  return LoadOrMakeKey(file.get());
}

TEST(KeyFile, MadeOnceKeptPrivateAndTrustedOnlyWhileItStaysSo) {
  test::ScratchDir dir;
  const StateHome home(dir.Path());
  const fs::path path = dir / "sealdoor" / "journal-key";
  const SipKey first = Key();
  ASSERT_TRUE(fs::exists(path));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(test::ReadBytes(path), std::vector<std::uint8_t>(first.begin(), first.end()));
  EXPECT_EQ(Key(), first);  // the next run's

  // Readable by others, or a link to elsewhere: a key for the run alone,
  // the file as it was.
  ::chmod(path.c_str(), 0644);
  EXPECT_NE(Key(), first);
  ::chmod(path.c_str(), 0600);
  fs::rename(path, dir / "elsewhere");
  fs::create_symlink(dir / "elsewhere", path);
  EXPECT_NE(Key(), first);
  EXPECT_EQ(test::ReadBytes(dir / "elsewhere"), std::vector<std::uint8_t>(first.begin(), first.end()));
}

}  // namespace
}  // namespace sealdoor
