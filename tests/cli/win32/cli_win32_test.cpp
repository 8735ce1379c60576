// sealdoor-cli.exe as a Windows user runs it: names in any script arrive
// whole through its wide command line and come back whole in its output.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

#include "../../engine/test_support.h"
#include "../cli_runner.h"
#include "engine/format.h"
#include "engine/path_text.h"
#include "engine/scramble.h"
#include "engine/temp_names.h"
#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"
#include "support/win32/beside_test.h"

namespace sealdoor {
namespace {

TEST(Cli, NamesInAnyScript) {
  test::ScratchDir dir;
  const std::string name = "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb-\xe6\x96\x87\xe4\xbb\xb6.txt";
  const auto file = dir.Path() / PathFromText(name);
  const auto plain = test::RandomBytes(2000, 4);
  test::WriteBytes(file, plain);
  auto r = test::RunCli({"lock", "--password-stdin", name}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(format::IsLocked(test::ReadBytes(file)));
  r = test::RunCli({"status", name}, "", dir.Path());
  EXPECT_EQ(r.out, name + ": locked\n");
  r = test::RunCli({"unlock", "--password-stdin", name}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadBytes(file), plain);
}

TEST(Cli, AFolderIsRefused) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir / "folder");
  const auto r = test::RunCli({"lock", "--password-stdin", "folder"}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "sealdoor-cli: 'folder' could not be locked: it is a folder\n");
}

int Rounds(const char* variable, int fallback) {
  const char* env = std::getenv(variable);
  return env ? std::atoi(env) : fallback;
}

bool IsLockedFormOf(const std::vector<std::uint8_t>& now, const std::vector<std::uint8_t>& plain) {
  if (now.size() != plain.size() + format::kHead || !format::IsLocked(now)) return false;
  auto scrambled = plain;
  format::ScrambleInPlace(scrambled);
  return std::equal(scrambled.begin(), scrambled.end(), now.begin() + format::kHead);
}

TEST(Cli, KilledDuringBatchesEveryFileStaysWholeAndALaterRunLeavesNothing) {
  // Stopped as Task Manager stops a program: at once, at any moment of a
  // batch of small files and a large one.
  test::ScratchDir dir;
  std::vector<std::string> names;
  std::vector<std::vector<std::uint8_t>> plain;
  for (int i = 0; i < 40; ++i) {
    names.push_back("f" + std::to_string(i) + ".dat");
    plain.push_back(test::RandomBytes(i == 20 ? (16u << 20) : 3000u + static_cast<unsigned>(i), 500u + static_cast<unsigned>(i)));
  }
  std::vector<std::string> args{"lock", "--password-stdin"};
  args.insert(args.end(), names.begin(), names.end());
  const auto timed = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < names.size(); ++i) test::WriteBytes(dir / names[i], plain[i]);
  (void)test::RunCli(args, "Abc1\n", dir.Path());
  const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - timed);
  std::mt19937 gen(1210);
  int missing = 0, locked = 0;
  const int rounds = Rounds("SEALDOOR_CRASH_KILLS", 12);
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t i = 0; i < names.size(); ++i) test::WriteBytes(dir / names[i], plain[i]);
    std::thread run([&] { (void)test::RunCli(args, "Abc1\n", dir.Path()); });
    ::Sleep(std::uniform_int_distribution<DWORD>(0, static_cast<DWORD>(span.count()))(gen));
    test::KillCliProcesses();
    run.join();
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!std::filesystem::exists(dir / names[i])) {
        // Killed between the two steps of a replacement where the system
        // has no replacing in one: the original waits under a name the
        // folder's journal lists, for the next run to put back.
        ++missing;
        continue;
      }
      const auto now = test::ReadBytes(dir / names[i]);
      if (IsLockedFormOf(now, plain[i]))
        ++locked;
      else
        EXPECT_EQ(now, plain[i]) << names[i] << " is neither its original nor its locked form, round " << r;
    }
    // A later run in the folder puts back what waits, finishes the work
    // and leaves nothing of ours behind.
    (void)test::RunCli(args, "Abc1\n", dir.Path());
    EXPECT_EQ(test::Housekeeping(dir.Path()), std::vector<std::string>{}) << "round " << r;
    for (std::size_t i = 0; i < names.size(); ++i)
      EXPECT_TRUE(IsLockedFormOf(test::ReadBytes(dir / names[i]), plain[i])) << names[i] << ", round " << r;
  }
  std::printf("%d kills during batches: %d files locked when killed, %d waited for the next run\n", rounds, locked,
              missing);
}

// Starts appender.exe (beside this test) on `file`.
HANDLE StartAppender(const std::filesystem::path& file, const std::filesystem::path& stop,
                     const std::filesystem::path& count) {
  const std::wstring exe = test::BesideThisTest(L"appender.exe").wstring();
  std::wstring command = L"\"" + exe + L"\" \"" + file.wstring() + L"\" \"" + stop.wstring() + L"\" \"" +
                         count.wstring() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si,
                        &pi))
    return nullptr;
  ::CloseHandle(pi.hThread);
  return pi.hProcess;
}

TEST(Cli, AProgramAppendingByNameDuringALockLosesNothing) {
  test::ScratchDir dir;
  const auto f = dir / "log.txt";
  const auto start = test::RandomBytes(1u << 20, 7);
  std::mt19937 gen(20261210);
  int locked = 0, refused = 0, keptBeside = 0;
  const int rounds = Rounds("SEALDOOR_RACE_ROUNDS", 50);
  for (int round = 0; round < rounds; ++round) {
    for (const auto& name : dir.Names()) std::filesystem::remove(dir / name);
    test::WriteBytes(f, start);
    const HANDLE appender = StartAppender(f, dir / "stop", dir / "count");
    ASSERT_NE(appender, nullptr);
    ::Sleep(std::uniform_int_distribution<DWORD>(0, 30)(gen));
    const auto r = test::RunCli({"lock", "--password-stdin", "log.txt"}, "Race1\n", dir.Path());
    test::WriteBytes(dir / "stop", {1});
    ::WaitForSingleObject(appender, INFINITE);
    ::CloseHandle(appender);
    long written = 0;
    std::ifstream(dir / "count") >> written;
    std::filesystem::remove(dir / "count");
    std::filesystem::remove(dir / "stop");

    // Everything the appender wrote, after the original.
    std::vector<std::uint8_t> plain = start;
    std::vector<std::size_t> boundaries{plain.size()};
    for (long n = 1; n <= written; ++n) {
      const std::string line = std::to_string(n) + "\r\n";
      plain.insert(plain.end(), line.begin(), line.end());
      boundaries.push_back(plain.size());
    }
    const auto now = test::ReadBytes(f);
    const std::string what = "round " + std::to_string(round) + ": " + r.err;
    if (std::filesystem::exists(dir / "log.txt.sealdoor-original")) {
      // The appender made a new file under the name in the instant the
      // original was aside: the original, with the lines up to then, kept
      // beside the new file that holds the rest.
      ++keptBeside;
      auto joined = test::ReadBytes(dir / "log.txt.sealdoor-original");
      joined.insert(joined.end(), now.begin(), now.end());
      EXPECT_EQ(joined, plain) << what;
      EXPECT_EQ(r.exitCode, 1) << what;
      continue;
    }
    if (r.exitCode != 0) {
      ++refused;
      EXPECT_EQ(r.exitCode, 1) << what;
      EXPECT_EQ(now, plain) << what << ": refused, and the file is not what was written";
      continue;
    }
    ++locked;
    // Locked at some moment: the lines up to then scrambled behind the
    // head, the ones after appended as they came.
    ASSERT_EQ(now.size(), plain.size() + format::kHead) << what << ": lines lost";
    bool found = false;
    for (auto it = boundaries.rbegin(); it != boundaries.rend() && !found; ++it) {
      const auto j = static_cast<long>(*it);
      if (!std::equal(plain.begin() + j, plain.end(), now.begin() + static_cast<long>(format::kHead) + j)) continue;
      std::vector<std::uint8_t> prefix(plain.begin(), plain.begin() + j);
      format::ScrambleInPlace(prefix);
      found = std::equal(prefix.begin(), prefix.end(), now.begin() + format::kHead);
    }
    EXPECT_TRUE(found) << what << ": the locked file does not hold every line written";
  }
  std::printf("%d rounds: %d locked, %d refused while the appender was at work, %d kept both versions\n", rounds,
              locked, refused, keptBeside);
}

TEST(Cli, LongPathsAndExtendedPathsWork) {
  test::ScratchDir dir;
  // 300 characters and more in all, in folders of 120.
  const std::filesystem::path deep = dir.Path() / std::string(120, 'a') / std::string(120, 'b');
  const std::wstring extended = L"\\\\?\\" + deep.wstring();
  ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + (dir.Path() / std::string(120, 'a')).wstring()).c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(extended.c_str(), nullptr));
  const auto plain = test::RandomBytes(5000, 9);
  const std::wstring file = extended + L"\\notes.txt";
  {
    const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ::WriteFile(h, plain.data(), static_cast<DWORD>(plain.size()), &n, nullptr);
    ::CloseHandle(h);
  }
  const std::string asGiven[] = {PathText(deep / "notes.txt"), win32::Narrow(file)};
  for (const auto& path : asGiven) {
    ASSERT_GT(path.size(), 260u);
    auto r = test::RunCli({"lock", "--password-stdin", path}, "Abc1\n", dir.Path());
    EXPECT_EQ(r.exitCode, 0) << path << ": " << r.err;
    r = test::RunCli({"status", path}, "", dir.Path());
    EXPECT_EQ(r.exitCode, 0) << path << ": " << r.err;
    r = test::RunCli({"unlock", "--password-stdin", path}, "Abc1\n", dir.Path());
    EXPECT_EQ(r.exitCode, 0) << path << ": " << r.err;
  }
  const HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::vector<std::uint8_t> back(plain.size() + 10);
  DWORD n = 0;
  ::ReadFile(h, back.data(), static_cast<DWORD>(back.size()), &n, nullptr);
  ::CloseHandle(h);
  back.resize(n);
  EXPECT_EQ(back, plain);
}

// A console of the test's own while it lives, whose interrupts the test
// itself ignores; then the one it had before.
class OwnConsole {
 public:
  OwnConsole() {
    ::FreeConsole();
    made_ = ::AllocConsole() != 0;
    ::SetConsoleCtrlHandler(nullptr, TRUE);
  }
  ~OwnConsole() {
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::FreeConsole();
    ::AttachConsole(ATTACH_PARENT_PROCESS);
  }
  OwnConsole(const OwnConsole&) = delete;
  OwnConsole& operator=(const OwnConsole&) = delete;
  [[nodiscard]] bool Made() const noexcept { return made_; }

 private:
  bool made_ = false;
};

TEST(Cli, CtrlBreakDuringABatchStopsItAndSaysHowManyFilesWereDone) {
  // The console's interrupt reaches the programs that share it.
  const OwnConsole console;
  if (!console.Made()) GTEST_SKIP() << "no console to share";
  test::ScratchDir dir;
  std::vector<std::string> args{"lock", "--password-stdin"};
  std::vector<std::vector<std::uint8_t>> plain;
  for (unsigned i = 0; i < 60; ++i) {
    args.push_back("f" + std::to_string(i));
    plain.push_back(test::RandomBytes(i == 30 ? (32u << 20) : 700 + i * 97, 800 + i));
  }
  auto reset = [&] {
    for (std::size_t i = 0; i < plain.size(); ++i) test::WriteBytes(dir / args[i + 2], plain[i]);
  };
  reset();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(test::RunCli(args, "Abc1\n", dir.Path()).exitCode, 0);
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  int stopped = 0;
  for (const int percent : {20, 45, 70}) {
    reset();
    const auto r = test::RunCli(args, "Abc1\n", dir.Path(), span * percent / 100);
    // Wine's consoles take no interrupt from a program (GenerateConsoleCtrlEvent
    // fails there); Windows' do.
    if (!r.interrupted) GTEST_SKIP() << "this system sends no console interrupt";
    std::size_t locked = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
      const auto now = test::ReadBytes(dir / args[i + 2]);
      if (now == plain[i]) continue;
      ++locked;
      EXPECT_TRUE(test::IsLockedFormOf(now, plain[i], "Abc1")) << args[i + 2] << " at " << percent << "%";
    }
    EXPECT_EQ(dir.Names().size(), plain.size()) << percent;
    if (r.exitCode == 0 && locked == plain.size()) continue;  // over before the interrupt came
    ++stopped;
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_EQ(r.err, "sealdoor-cli: stopped: " + std::to_string(locked) + " of 60 files locked; the others were not changed\n");
  }
  EXPECT_GE(stopped, 1);
}


// sealdoor-cli edit on Windows: the editor named by %EDITOR% (Notepad when
// none) runs on the unlocked file; however it ends, the file is locked again.
TEST(Cli, EditLocksTheFileAgainHoweverTheEditorEnds) {
  struct Case {
    const wchar_t* editor;
    int exit;
    const char* more;  // what the file holds after, beyond its old content
    const char* said;
    bool gone;
  };
  const Case cases[] = {
      {L"cmd /c echo added>>", 0, "added\r\n", "is locked again", false},
      {L"cmd /c exit 3", 1, "", "ended with status 3", false},
      {L"cmd /c del", 1, "", "is gone", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(win32::Narrow(c.editor));
    test::ScratchDir dir;
    const auto plain = test::RandomBytes(3000, 31);
    test::WriteBytes(dir / "notes.txt", plain);
    ASSERT_TRUE(test::Lock(dir / "notes.txt", "Edit42"));
    ::SetEnvironmentVariableW(L"VISUAL", nullptr);
    ::SetEnvironmentVariableW(L"EDITOR", c.editor);
    const auto r = test::RunCli({"edit", "--password-stdin", "notes.txt"}, "Edit42\n", dir.Path());
    ::SetEnvironmentVariableW(L"EDITOR", nullptr);
    EXPECT_EQ(r.exitCode, c.exit) << r.err;
    EXPECT_NE(r.err.find("'notes.txt' is unlocked until the editor ends"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    if (c.gone) {
      EXPECT_TRUE(dir.Names().empty());  // nothing made in its place
      continue;
    }
    auto expected = plain;
    expected.insert(expected.end(), c.more, c.more + std::strlen(c.more));
    EXPECT_TRUE(test::IsLockedFormOf(test::ReadBytes(dir / "notes.txt"), expected, "Edit42"));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"notes.txt"});
  }
}

}  // namespace
}  // namespace sealdoor
