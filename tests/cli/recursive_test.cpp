// `--recursive`: a folder of nested files locks and unlocks byte-exact,
// the count is said first, what is already done is left out in one line,
// and more than a thousand files want a yes.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "../engine/test_support.h"
#include "cli_runner.h"
#include "engine/file_head.h"
#include "engine/format.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;

bool HasTerminal() {
#ifdef _WIN32
  return true;  // a console of Wine's own may answer
#else
  const int fd = ::open("/dev/tty", O_RDWR);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
#endif
}

TEST(CliBatch, AFileNamedMoreThanOnceIsDoneOnce) {
  // However often a file is named in one run (the same path twice, "f"
  // and "./f", a folder and a file in it, a folder and a subfolder), it is
  // locked once and unlocked once, counted once, and nothing is left beside.
  struct Case {
    const char* what;
    std::vector<std::string> lock;  // the arguments after "lock --password-stdin"
    const char* said;               // what the lock says first (with -r), or nothing
  };
  const Case cases[] = {
      {"the same path twice", {"a", "a", "b"}, ""},
      {"a path and the same with ./", {"a", "./a", "b"}, ""},
      {"a folder and a file in it", {"-r", "t", "t/c"}, "sealdoor-cli: 3 files to lock\n"},
      {"a file in it, then the folder", {"-r", "t/c", "t"}, "sealdoor-cli: 3 files to lock\n"},
      {"a folder and its subfolder", {"-r", "t", "t/sub"}, "sealdoor-cli: 3 files to lock\n"},
  };
  for (const Case& c : cases) {
    test::ScratchDir dir;
    fs::create_directories(dir / "t" / "sub");
    std::map<std::string, std::vector<std::uint8_t>> plain;
    unsigned seed = 40;
    for (const char* name : {"a", "b", "t/c", "t/d", "t/sub/e"}) {
      plain[name] = test::RandomBytes(2000 + seed, seed);
      test::WriteBytes(dir / name, plain[name]);
      ++seed;
    }
    std::vector<std::string> args{"lock", "--password-stdin"};
    args.insert(args.end(), c.lock.begin(), c.lock.end());
    auto r = test::RunCli(args, "Abc1\n", dir.Path());
    EXPECT_EQ(r.exitCode, 0) << c.what << ": " << r.err;
    EXPECT_EQ(r.err, c.said) << c.what;
    for (const auto& [name, bytes] : plain) {
      const bool named = std::any_of(c.lock.begin(), c.lock.end(), [&](const std::string& a) {
        return a == name || "./" + name == a || (a == "t" && name.starts_with("t/"));
      });
      if (named) {
        EXPECT_TRUE(test::IsLockedFormOf(test::ReadBytes(dir / name), bytes, "Abc1")) << c.what << ": " << name;
      } else {
        EXPECT_EQ(test::ReadBytes(dir / name), bytes) << c.what << ": " << name;
      }
    }
    args[0] = "unlock";
    r = test::RunCli(args, "Abc1\n", dir.Path());
    EXPECT_EQ(r.exitCode, 0) << c.what << ": " << r.err;
    for (const auto& [name, bytes] : plain) EXPECT_EQ(test::ReadBytes(dir / name), bytes) << c.what << ": " << name;
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path()))
      names.push_back(e.path().lexically_relative(dir.Path()).generic_string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "t", "t/c", "t/d", "t/sub", "t/sub/e"})) << c.what;
  }
}

TEST(CliRecursive, AFolderOfNestedFilesLocksAndUnlocksByteExact) {
  test::ScratchDir dir;
  std::map<fs::path, std::vector<std::uint8_t>> contents;
  unsigned seed = 1;
  for (const char* name : {"top", "sub/one", "sub/deeper/two", "sub/deeper/three", "other/four"}) {
    fs::create_directories((dir / "tree" / name).parent_path());
    contents[dir / "tree" / name] = test::RandomBytes(100 + 1000 * seed, seed);
    test::WriteBytes(dir / "tree" / name, contents[dir / "tree" / name]);
    ++seed;
  }
  test::WriteBytes(dir / "tree" / "sub" / ".sealdoor-abcdef.tmp", {7});  // never taken
  ASSERT_TRUE(test::Lock(dir / "tree" / "other" / "four", "Abc1"));
  auto r = test::RunCli({"lock", "-r", "--password-stdin", "tree"}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "sealdoor-cli: 4 files to lock\nsealdoor-cli: Left as they were: 1 file already locked.\n");
  for (const auto& [path, bytes] : contents) EXPECT_TRUE(format::IsLocked(*ReadFileHead(path))) << path;
  EXPECT_EQ(test::ReadBytes(dir / "tree" / "sub" / ".sealdoor-abcdef.tmp"), std::vector<std::uint8_t>{7});

  r = test::RunCli({"status", "--recursive", "tree"}, "", dir.Path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5);

  r = test::RunCli({"unlock", "--recursive", "--quiet", "--password-stdin", "tree"}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (const auto& [path, bytes] : contents) EXPECT_EQ(test::ReadBytes(path), bytes) << path;

  // Nothing left to do: said, and no password asked for.
  r = test::RunCli({"unlock", "-r", "tree"}, "", dir.Path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "sealdoor-cli: Left as they were: 5 files not locked.\n");

  // Without -r a folder is refused as before.
  r = test::RunCli({"lock", "--password-stdin", "tree"}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 1);
}

TEST(CliRecursive, MoreThanAThousandFilesWantAYes) {
  test::ScratchDir dir;
  fs::create_directory(dir / "many");
  for (int i = 0; i < 1001; ++i) test::WriteBytes(dir / "many" / std::to_string(i), {1, 2});
  // No terminal to ask on: nothing is done without --yes. (Where the test
  // itself runs on a terminal, the question would go there.)
  if (HasTerminal()) GTEST_SKIP() << "runs on a terminal";
  auto r = test::RunCli({"lock", "-r", "--password-stdin", "many"}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "sealdoor-cli: 1,001 files to lock\nsealdoor-cli: more than 1,000 files want a yes on the "
                   "terminal, or --yes\n");
  EXPECT_FALSE(format::IsLocked(*ReadFileHead(dir / "many" / "0")));
  r = test::RunCli({"lock", "-r", "--yes", "--quiet", "--password-stdin", "many"}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(format::IsLocked(*ReadFileHead(dir / "many" / "1000")));
}

}  // namespace
}  // namespace sealdoor
