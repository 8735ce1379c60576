// Names as Windows gives them: a name with a trailing dot or space, one
// of the old device names, or one that holds a lone surrogate, is a file
// of its own, reached as named from the command line and from a folder's
// walk, and never taken for the file Windows' usual path rules would
// shorten it to, nor for the one a replacement character would name.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../../engine/test_support.h"
#include "../cli_runner.h"
#include "engine/path_text.h"
#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"
#include "support/win32/odd_names.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using test::Extended;
using test::Listed;
using test::ReadAs;
using test::Tidy;
using test::WriteAs;

struct OddName {
  const char* what;
  const wchar_t* name;
  const wchar_t* shortened;  // the file it would be taken for
};

const OddName kOddNames[] = {
    {"a trailing dot", L"x.", L"x"},
    {"a trailing space", L"x ", L"x"},
    {"dots and spaces", L"x. .", L"x"},
    {"a device's name with an extension", L"nul.txt", nullptr},
    {"a device's name", L"con", nullptr},
};

TEST(WindowsNames, AFileIsLockedAndUnlockedAsNamedNeverAsItsShortenedName) {
  for (const OddName& odd : kOddNames) {
    for (const bool absolute : {false, true}) {
      SCOPED_TRACE(std::string(odd.what) + (absolute ? ", given in full" : ", given as it is in the folder"));
      test::ScratchDir dir;
      const Tidy tidy(dir.Path());
      const auto plain = test::RandomBytes(3000, 61);
      const auto other = test::RandomBytes(2000, 62);
      ASSERT_TRUE(WriteAs(Extended(dir.Path(), odd.name), plain)) << "this system makes no such file";
      if (odd.shortened) {
        ASSERT_TRUE(WriteAs(Extended(dir.Path(), odd.shortened), other));
      }
      const std::string name = win32::Narrow(odd.name);
      const std::string given = absolute ? PathText(dir.Path()) + "\\" + name : name;
      auto r = test::RunCli({"lock", "--password-stdin", given}, "Abc1\n", dir.Path());
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(test::IsLockedFormOf(ReadAs(Extended(dir.Path(), odd.name)), plain, "Abc1"));
      if (odd.shortened) {
        EXPECT_TRUE(ReadAs(Extended(dir.Path(), odd.shortened)) == other);
      }
      r = test::RunCli({"status", given}, "", dir.Path());
      EXPECT_TRUE(r.out.ends_with(": locked\n")) << r.out << r.err;
      r = test::RunCli({"unlock", "--password-stdin", given}, "Abc1\n", dir.Path());
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(ReadAs(Extended(dir.Path(), odd.name)) == plain);
      if (odd.shortened) {
        EXPECT_TRUE(ReadAs(Extended(dir.Path(), odd.shortened)) == other);
      }
      std::vector<std::wstring> expected{odd.name};
      if (odd.shortened) expected.push_back(odd.shortened);
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(Listed(dir.Path()), expected);
    }
  }
}

TEST(WindowsNames, AFolderWalkTakesEveryNameAsItIsListed) {
  test::ScratchDir dir;
  const Tidy tidy(dir.Path());
  ASSERT_TRUE(::CreateDirectoryW(Extended(dir.Path(), L"t").c_str(), nullptr));
  const std::wstring names[] = {L"a", L"a.", L"a ", L"a..", L"nul"};
  std::vector<std::vector<std::uint8_t>> plain;
  for (std::size_t i = 0; i < std::size(names); ++i) {
    plain.push_back(test::RandomBytes(2000 + i * 300, 70 + static_cast<unsigned>(i)));
    ASSERT_TRUE(WriteAs(Extended(dir / "t", names[i]), plain[i])) << win32::Narrow(names[i]);
  }
  auto r = test::RunCli({"lock", "--password-stdin", "-r", "t"}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "sealdoor-cli: 5 files to lock\n");
  for (std::size_t i = 0; i < std::size(names); ++i) {
    EXPECT_TRUE(test::IsLockedFormOf(ReadAs(Extended(dir / "t", names[i])), plain[i], "Abc1"))
        << win32::Narrow(names[i]);
  }
  r = test::RunCli({"unlock", "--password-stdin", "-r", "t"}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "sealdoor-cli: 5 files to unlock\n");
  for (std::size_t i = 0; i < std::size(names); ++i) {
    EXPECT_TRUE(ReadAs(Extended(dir / "t", names[i])) == plain[i]) << win32::Narrow(names[i]);
  }
  std::vector<std::wstring> expected(std::begin(names), std::end(names));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listed(dir / "t"), expected);
  // A folder whose own name ends in a dot is walked as named, with no
  // folder of the shortened name beside it.
  ASSERT_TRUE(::CreateDirectoryW(Extended(dir.Path(), L"d.").c_str(), nullptr));
  ASSERT_TRUE(WriteAs(Extended(dir / "d.", L"f"), plain[0]));
  r = test::RunCli({"lock", "--password-stdin", "-r", "d."}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(test::IsLockedFormOf(ReadAs(Extended(dir / "d.", L"f")), plain[0], "Abc1"));
}

TEST(WindowsNames, ANameThatIsNotThereAsGivenIsRefusedAndItsNeighbourLeftAlone) {
  test::ScratchDir dir;
  const Tidy tidy(dir.Path());
  const auto plain = test::RandomBytes(2500, 80);
  ASSERT_TRUE(WriteAs(Extended(dir.Path(), L"y"), plain));
  for (const char* given : {"y.", "y ", "y. "}) {
    const auto r = test::RunCli({"lock", "--password-stdin", given}, "Abc1\n", dir.Path());
    EXPECT_EQ(r.exitCode, 1) << given;
    EXPECT_TRUE(r.err.starts_with("sealdoor-cli: '" + std::string(given) + "' could not be locked: ")) << r.err;
    EXPECT_TRUE(ReadAs(Extended(dir.Path(), L"y")) == plain) << given;
  }
  EXPECT_EQ(Listed(dir.Path()), std::vector<std::wstring>{L"y"});
}

// A name with a lone surrogate arrives whole through the wide command
// line: the file of that very name is locked where the file system can
// hold such a name (NTFS can; Wine's disks cannot, and the name is then
// refused), never the file whose name has U+FFFD in its place.
TEST(WindowsNames, ANameWithALoneSurrogateIsTheFileOfThatNameNeverItsReplacement) {
  test::ScratchDir dir;
  const Tidy tidy(dir.Path());
  const std::wstring lone = L"a\xD800.txt";
  const auto plain = test::RandomBytes(3000, 63);
  const auto other = test::RandomBytes(2000, 64);
  const bool made = WriteAs(Extended(dir.Path(), lone), plain);
  ASSERT_TRUE(WriteAs(Extended(dir.Path(), L"a\uFFFD.txt"), other));
  for (const bool absolute : {false, true}) {
    SCOPED_TRACE(absolute ? "given in full" : "given as it is in the folder");
    const std::string given = absolute ? PathText(dir.Path() / lone) : PathText(fs::path(lone));
    ASSERT_EQ(win32::Widen(given).back(), L't');
    auto r = test::RunCli({"lock", "--password-stdin", given}, "Abc1\n", dir.Path());
    if (made) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(test::IsLockedFormOf(ReadAs(Extended(dir.Path(), lone)), plain, "Abc1"));
      r = test::RunCli({"unlock", "--password-stdin", given}, "Abc1\n", dir.Path());
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(ReadAs(Extended(dir.Path(), lone)) == plain);
    } else {
      // Refused, and said of the name as given, the lone surrogate in it.
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_TRUE(r.err.starts_with("sealdoor-cli: '" + given + "' could not be locked: ")) << r.err;
      std::printf("this file system holds no such name; refused: %s", r.err.c_str());
    }
    EXPECT_TRUE(ReadAs(Extended(dir.Path(), L"a\uFFFD.txt")) == other);
  }
}

}  // namespace
}  // namespace sealdoor
