// The shell services on the Linux desktop: arguments without a shell, the
// temporary folder, and the GIO lookup against a desktop of our own.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "support/xdg_fixture.h"
#include "shell/gio/command_line.h"
#include "shell/open_command.h"
#include "shell/system_folders.h"

namespace sealdoor::shell {
namespace {

TEST(CommandArguments, ThePathIsAlwaysOneArgument) {
  struct Case {
    const char* prefix;
    const char* path;
    std::vector<std::string> argv;
  };
  const std::vector<Case> cases = {
      {"/usr/bin/editor ", "/home/u/my file.txt", {"/usr/bin/editor", "/home/u/my file.txt"}},
      {"editor ", "/t/a\"b'c;d$(rm -rf x)`e`", {"editor", "/t/a\"b'c;d$(rm -rf x)`e`"}},
      {"editor --new-window ", "/t/-x", {"editor", "--new-window", "/t/-x"}},
      {"\"/opt/My App/run\" ", "/t/f", {"/opt/My App/run", "/t/f"}},
      {"\"/opt/a\\\"q\\\\b\" ", "/t/f", {"/opt/a\"q\\b", "/t/f"}},  // escapes inside quotes
      {"app --file=", "/t/x y", {"app", "--file=/t/x y"}},             // no space: the path continues it
      // Inside a quoted argument only a path that no shell reads specially.
      {"sh -c \"cat ", "/t/report 2024.txt", {"sh", "-c", "cat /t/report 2024.txt"}},
      {"app --file=\"", "/t/x y", {"app", "--file=/t/x y"}},
      {"flatpak run --file-forwarding org.x @@u ", "/t/f", {"flatpak", "run", "--file-forwarding", "org.x", "@@u", "/t/f", "@@"}},
      {"flatpak run --file-forwarding org.x @@ ", "/t/f", {"flatpak", "run", "--file-forwarding", "org.x", "@@", "/t/f", "@@"}},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandArguments(c.prefix, c.path), c.argv) << c.prefix;
}

// Runs `argv` in `folder` and waits for it.
void RunIn(const std::vector<std::string>& argv, const std::string& folder) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> raw;
    for (const auto& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
    raw.push_back(nullptr);
    ::execvp(raw[0], raw.data());
    ::_exit(127);
  }
  ::waitpid(pid, nullptr, 0);
}

TEST(CommandArguments, NoNameRunsInAnyNestingOfQuotes) {
  // Exec lines with the field code inside a quoted argument, as a desktop
  // entry may have them (the validator lets them pass), each cut as the
  // association lookup cuts them.
  const char* shapes[] = {
      "sh -c \"cat \\\"%1\\\" > /dev/null\"",
      "bash -c \"cat '%1'\"",
      "env X=1 sh -c \"cat %1\"",
      "sh -c \"cat \\\"\\\\\\\"%1\\\\\\\"\\\"\"",
      "sh -c \"echo \\`cat %1\\`\"",
      "sh -c \"x=\\$(cat %1)\"",
      "\"/bin/sh\" -c \"cat %1\"",
      "sh -c \"cat -- %1\"",
  };
  const char* hostile[] = {
      "note\" ; touch PWNED #.txt", "a'; touch PWNED; '.txt", "$(touch PWNED).txt", "`touch PWNED`.txt",
      "a\\\"; touch PWNED; \\\".txt", "a\ntouch PWNED\n.txt", "x;touch${IFS}PWNED.txt", "a&&touch PWNED.txt",
  };
  char tmpl[] = "/tmp/sealdoor-exec-XXXXXX";
  const std::string folder = ::mkdtemp(tmpl);
  int refused = 0, started = 0;
  for (const char* shape : shapes) {
    const std::string prefix = CutCommand(shape);
    if (prefix.empty()) continue;  // no rule cuts it: "not a registered type"
    for (const char* name : hostile) {
      const std::string path = folder + "/" + name;
      const auto argv = CommandArguments(prefix, path);
      if (!argv) {
        EXPECT_EQ(argv.error(), kUnsafeCommand);
        ++refused;
        continue;
      }
      ++started;
      RunIn(*argv, folder);
      EXPECT_FALSE(std::filesystem::exists(folder + "/PWNED")) << shape << " with " << name;
      std::filesystem::remove(folder + "/PWNED");
    }
    // A plain name still opens.
    EXPECT_TRUE(CommandArguments(prefix, folder + "/report 2024-12.txt")) << shape;
  }
  std::filesystem::remove_all(folder);
  EXPECT_EQ(started, 0) << "a hostile name was let into a quoted argument";
  EXPECT_GT(refused, 0);
}


TEST(SystemFolders, TheWindowsFolderStandsForUsr) { EXPECT_EQ(SystemRootFolder(), "/usr"); }

// Runs `f` in a fresh process (GIO caches what it reads) and returns its text.
std::string InChild(const test::XdgFixture& fixture, const std::function<std::string()>& f) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    fixture.Apply();
    const std::string out = f();
    (void)!::write(fds[1], out.data(), out.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  ::waitpid(pid, nullptr, 0);
  return out;
}

TEST(OpenCommand, TheDesktopsDefaultApplicationCutToAPrefix) {
  test::XdgFixture fixture;
  const std::string rec = fixture.Recorder().string();
  struct Case {
    const char* extension;
    std::string command;  // as looked up, "%1" for the file
    std::string prefix;   // after the cutting rules
  };
  const std::vector<Case> cases = {
      {".sdtest", rec + " %1", rec + " "},
      {".sdterm", "x-terminal-emulator -e " + rec + " --edit %1", "x-terminal-emulator -e " + rec + " --edit "},
      {".sdflat", rec + " run --file-forwarding org.example.App @@u %1 @@",
       rec + " run --file-forwarding org.example.App @@u "},
      {".sdquote", "\"" + (fixture.Root() / "bin dir" / "spaced recorder").string() + "\" %1",
       "\"" + (fixture.Root() / "bin dir" / "spaced recorder").string() + "\" "},
      {".sdorphan", "", ""},            // a known type without an application
      {".nosuchext", "", ""},           // an unknown extension
      // A dot in a folder's name, and a name without any: types come from
      // extensions only, whatever the name itself would say.
      {".d/README", "", ""},
      {".d/Makefile", "", ""},
      {"/home/u/README", "", ""},
      // Field codes: each of %c, %k and %i one argument; deprecated ones
      // go; what is no field code stays.
      {".sdfields",
       rec + " --name \"My Editor\" --from \"" + (fixture.Root() / "home/applications/fields.desktop").string() +
           "\" --icon \"accessories-text-editor\"  %1 --size=50%",
       rec + " --name \"My Editor\" --from \"" + (fixture.Root() / "home/applications/fields.desktop").string() +
           "\" --icon \"accessories-text-editor\"  "},
      {".sdroot", "%SystemRoot%/bin/recorder %1", "%SystemRoot%/bin/recorder "},
  };
  for (const auto& c : cases) {
    const std::string got = InChild(fixture, [&] {
      const std::string command = CommandForClass(ClassForExtension(c.extension)).line;
      return command + "\n" + CutCommand(command);
    });
    EXPECT_EQ(got, c.command + "\n" + c.prefix) << c.extension;
  }
}

}  // namespace
}  // namespace sealdoor::shell
