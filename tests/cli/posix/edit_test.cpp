// sealdoor-cli edit: the file unlocked while the user's editor runs, locked
// again with the same password however the editor ends: after a save in
// place or by renaming a new file over it, after a failure, after Ctrl-C.
// What the editor deleted is said, and nothing is made up in its place; a
// second edit of the same file while one runs is refused.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../../engine/test_support.h"
#include "../cli_runner.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
constexpr const char* kPassword = "Edit42";

// An editor of the test's own: a shell script run with the file as $1.
fs::path Editor(const test::ScratchDir& tools, const std::string& name, const std::string& body) {
  const fs::path script = tools / name;
  std::ofstream(script) << "#!/bin/sh\n" << body << "\n";
  fs::permissions(script, fs::perms::owner_all);
  return script;
}

// The editor's variables for one run, and a runtime folder of the test's
// own for the edit's lock.
class EditorEnvironment {
 public:
  EditorEnvironment(const std::optional<std::string>& visual, const std::optional<std::string>& editor,
                    const fs::path& runtime) {
    Set("VISUAL", visual);
    Set("EDITOR", editor);
    Set("XDG_RUNTIME_DIR", runtime.string());
  }
  ~EditorEnvironment() {
    for (const auto& [name, value] : before_) value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
  }

 private:
  void Set(const std::string& name, const std::optional<std::string>& value) {
    const char* old = std::getenv(name.c_str());
    before_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> before_;
};

std::vector<std::uint8_t> Plus(std::vector<std::uint8_t> bytes, const std::string& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return bytes;
}

TEST(Edit, TheFileIsLockedAgainHoweverTheEditorEnds) {
  struct Case {
    const char* name;
    const char* editor;          // the script's body
    bool visual;                 // given as $VISUAL (with a failing $EDITOR beside it)
    int exit;
    const char* more;            // what the file holds after, beyond its old content
    const char* said;            // in what the tool says at the end
  };
  const Case cases[] = {
      {"saved in place", "printf 'added' >> \"$1\"", false, 0, "added", "is locked again"},
      {"saved by renaming a new file over it", "cp \"$1\" \"$1.new\" && printf 'new' >> \"$1.new\" && mv \"$1.new\" \"$1\"",
       false, 0, "new", "is locked again"},
      {"$VISUAL before $EDITOR", "printf 'visual' >> \"$1\"", true, 0, "visual", "is locked again"},
      {"the editor fails", "printf 'half' >> \"$1\"; exit 3", false, 1, "half", "ended with status 3"},
      {"the editor is not found", "exec /nonexistent/editor \"$1\"", false, 1, "", "ended with status 127"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScratchDir dir, tools, runtime;
    const auto plain = test::RandomBytes(5000, 77);
    test::WriteBytes(dir / "notes.txt", plain);
    ASSERT_TRUE(test::Lock(dir / "notes.txt", kPassword));
    const std::string script = Editor(tools, "editor", c.editor).string();
    const EditorEnvironment env(c.visual ? std::optional(script) : std::nullopt,
                                c.visual ? std::optional<std::string>("false") : std::optional(script), runtime.Path());
    const auto r = test::RunCli({"edit", "--password-stdin", "notes.txt"}, std::string(kPassword) + "\n", dir.Path());
    EXPECT_EQ(r.exitCode, c.exit) << r.err;
    EXPECT_NE(r.err.find("'notes.txt' is unlocked until the editor ends"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_TRUE(test::IsLockedFormOf(test::ReadBytes(dir / "notes.txt"), Plus(plain, c.more), kPassword));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"notes.txt"});
  }
}

TEST(Edit, WhatCannotBeEditedIsSaidAndNothingIsMadeUp) {
  test::ScratchDir dir, tools, runtime;
  const auto plain = test::RandomBytes(3000, 78);
  const fs::path marker = tools / "editor-ran";
  struct Case {
    const char* name;
    const char* password;
    bool locked;
    const char* editor;
    int exit;
    const char* said;
    bool editorRuns;
  };
  const std::string touch = "touch '" + marker.string() + "'; ";
  const Case cases[] = {
      {"a wrong password", "Wrong1", true, "", 1, "Invalid password", false},
      {"a file that is not locked", kPassword, false, "", 1, "not", false},
      {"the editor deletes it", kPassword, true, "rm \"$1\"", 1, "is gone", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(marker);
    fs::remove(dir / "f");
    test::WriteBytes(dir / "f", plain);
    if (c.locked) {
      ASSERT_TRUE(test::Lock(dir / "f", kPassword));
    }
    const auto before = test::ReadBytes(dir / "f");
    const EditorEnvironment env(std::nullopt, Editor(tools, "editor", touch + c.editor).string(), runtime.Path());
    const auto r = test::RunCli({"edit", "--password-stdin", "f"}, std::string(c.password) + "\n", dir.Path());
    EXPECT_EQ(r.exitCode, c.exit) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(fs::exists(marker), c.editorRuns);
    if (c.editorRuns) {
      EXPECT_TRUE(dir.Names().empty());  // nothing locked in its place
    } else {
      EXPECT_EQ(test::ReadBytes(dir / "f"), before);
    }
  }
}

TEST(Edit, CtrlCWhileTheEditorRunsLocksTheFileAgainThenEndsWith130) {
  test::ScratchDir dir, tools, runtime;
  const auto plain = test::RandomBytes(4000, 79);
  test::WriteBytes(dir / "f", plain);
  ASSERT_TRUE(test::Lock(dir / "f", kPassword));
  // The editor outlives the interrupt (as an editor that takes Ctrl-C as
  // its own does) and saves after it.
  const EditorEnvironment env(std::nullopt, Editor(tools, "editor", "sleep 1; printf 'late' >> \"$1\"").string(),
                              runtime.Path());
  const auto r = test::RunCli({"edit", "--password-stdin", "f"}, std::string(kPassword) + "\n", dir.Path(),
                              std::chrono::milliseconds(400));
  ASSERT_TRUE(r.interrupted);
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_NE(r.err.find("interrupted; 'f' is locked again"), std::string::npos) << r.err;
  EXPECT_TRUE(test::IsLockedFormOf(test::ReadBytes(dir / "f"), Plus(plain, "late"), kPassword));
}

TEST(Edit, ASecondEditOfTheSameFileIsRefusedWhileOneRuns) {
  test::ScratchDir dir, tools, runtime;
  const auto plain = test::RandomBytes(4000, 80);
  test::WriteBytes(dir / "f", plain);
  ASSERT_TRUE(test::Lock(dir / "f", kPassword));
  const fs::path started = tools / "started";
  const EditorEnvironment env(
      std::nullopt, Editor(tools, "editor", "touch '" + started.string() + "'; sleep 2; printf 'one' >> \"$1\"").string(),
      runtime.Path());
  test::CliResult first;
  std::thread run([&] { first = test::RunCli({"edit", "--password-stdin", "f"}, std::string(kPassword) + "\n", dir.Path()); });
  for (int i = 0; i < 500 && !fs::exists(started); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // The same file by another spelling of its path.
  const auto second = test::RunCli({"edit", "--password-stdin", "./f"}, std::string(kPassword) + "\n", dir.Path());
  run.join();
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("cannot be edited now: another edit of it runs"), std::string::npos) << second.err;
  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_TRUE(test::IsLockedFormOf(test::ReadBytes(dir / "f"), Plus(plain, "one"), kPassword));
}

}  // namespace
}  // namespace sealdoor
