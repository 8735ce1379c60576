// Thunar's custom actions: ours merged into the user's file by their ids,
// once, whatever else it holds; a file that cannot be read or made sense of
// is left exactly as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "app/thunar_actions.h"

namespace sealdoor::app {
namespace {
namespace fs = std::filesystem;

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

const std::string kTheirs =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n\t<icon>utilities-terminal</icon>\n"
    "\t<name>Open Terminal Here</name>\n\t<unique-id>1234-1</unique-id>\n\t<command>exo-open %f</command>\n"
    "</action>\n</actions>\n";

TEST(ThunarActions, MergedOnceByTheirIdsKeepingTheUsersOwn) {
  const std::string once = MergeThunarActions(kTheirs, "/usr/bin/sealdoor").value();
  EXPECT_EQ(Count(once, "<unique-id>sealdoor-lock</unique-id>"), 1u);
  EXPECT_EQ(Count(once, "<unique-id>sealdoor-unlock</unique-id>"), 1u);
  EXPECT_NE(once.find("<command>/usr/bin/sealdoor --lock %F</command>"), std::string::npos);
  EXPECT_NE(once.find("<command>/usr/bin/sealdoor --unlock %F</command>"), std::string::npos);
  EXPECT_NE(once.find("<directories/>"), std::string::npos);
  EXPECT_NE(once.find("Open Terminal Here"), std::string::npos);
  EXPECT_EQ(MergeThunarActions(once, "/usr/bin/sealdoor").value(), once);  // again: nothing changes
  // A program elsewhere replaces ours, and only ours.
  const std::string moved = MergeThunarActions(once, "/opt/my tools/sealdoor").value();
  EXPECT_EQ(Count(moved, "<unique-id>sealdoor-lock</unique-id>"), 1u);
  EXPECT_NE(moved.find("<command>'/opt/my tools/sealdoor' --lock %F</command>"), std::string::npos);
  EXPECT_NE(moved.find("exo-open %f"), std::string::npos);
  // No file yet, or an empty one: a file of ours alone.
  for (const char* nothing : {"", " \n", "<actions/>"}) {
    const std::string fresh = MergeThunarActions(nothing, "sealdoor").value();
    EXPECT_EQ(Count(fresh, "<action>"), 2u) << nothing;
  }
}

TEST(ThunarActions, WhatIsNoListOfActionsIsRefusedNotReplaced) {
  for (const std::string& bad : {
           kTheirs.substr(0, kTheirs.size() - 12),                   // cut short
           std::string("<actions><action></actions>"),              // tags that do not match
           std::string("<?xml version=\"1.0\"?>\n<settings/>\n"),   // another file
           std::string("not xml at all"),
           // Our id in a comment between two of the user's actions: a
           // plain text merge would take both for ours.
           std::string("<actions>\n<action><unique-id>1</unique-id></action>\n"
                       "<!-- <unique-id>sealdoor-lock</unique-id> -->\n"
                       "<action><unique-id>2</unique-id></action>\n</actions>\n"),
       }) {
    EXPECT_FALSE(MergeThunarActions(bad, "sealdoor").has_value()) << bad;
  }
}

// The whole command, as `sealdoor --add-to-thunar` runs it, on a home of the
// test's own: in a child process with its own environment (and, for the
// unreadable file under root, as nobody, since root reads everything).
struct Home {
  fs::path root;
  fs::path Config() const { return root / "config/Thunar"; }
  fs::path Uca() const { return Config() / "uca.xml"; }
  fs::path System() const { return root / "system/Thunar/uca.xml"; }
};

void Write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

ThunarResult AddAs(const Home& home, bool asNobody) {
  int out[2];
  if (::pipe(out) != 0) return {false, "no pipe"};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    ::setenv("XDG_CONFIG_HOME", (home.root / "config").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (home.root / "system").c_str(), 1);
    ::umask(022);
    if (asNobody && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    const ThunarResult r = AddToThunar("/usr/bin/sealdoor");
    const std::string said = (r.ok ? "1" : "0") + r.text;
    ::_exit(::write(out[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 4);
  }
  ::close(out[1]);
  std::string said;
  char buffer[4096];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || said.empty()) return {false, "the child failed"};
  return {said[0] == '1', said.substr(1)};
}

struct Case {
  const char* name;
  std::function<void(const Home&)> setup;
  bool ok;
  const char* says;
  bool changes;  // the file gets our actions; else it stays as it was, byte for byte
  std::function<void(const Home&)> check = [](const Home&) {};
  bool asNobody = false;
};

TEST(ThunarActions, AddToThunarMergesSafely) {
  const bool root = ::geteuid() == 0;
  const std::string merged = MergeThunarActions(kTheirs, "/usr/bin/sealdoor").value();
  const std::vector<Case> cases = {
      {"fresh", [](const Home&) {}, true, "Added", true,
       [](const Home& h) {
         EXPECT_EQ(fs::status(h.Uca()).permissions(), fs::perms(0644));  // as Thunar makes it, by the umask
         EXPECT_EQ(Count(Read(h.Uca()), "<action>"), 2u);
       }},
      {"the system's actions as the start",
       [](const Home& h) { Write(h.System(), kTheirs); }, true, "Added", true,
       [](const Home& h) {
         EXPECT_NE(Read(h.Uca()).find("Open Terminal Here"), std::string::npos);
         EXPECT_EQ(Read(h.System()), kTheirs);
       }},
      {"already merged", [&](const Home& h) { Write(h.Uca(), merged); }, true, "already has", false},
      {"the user's own actions kept", [](const Home& h) { Write(h.Uca(), kTheirs); }, true, "Added", true,
       [](const Home& h) { EXPECT_NE(Read(h.Uca()).find("<command>exo-open %f</command>"), std::string::npos); }},
      {"malformed", [](const Home& h) { Write(h.Uca(), kTheirs.substr(0, kTheirs.size() - 12)); }, false,
       "is not a list of Thunar's actions that Sealdoor can read (line ", false},
      {"unreadable",
       [](const Home& h) {
         Write(h.Uca(), kTheirs);
         fs::permissions(h.Uca(), fs::perms::none);
       },
       false, "could not be read (Permission denied); it was left as it was", false,
       [](const Home& h) { EXPECT_EQ(fs::status(h.Uca()).permissions(), fs::perms::none); }, root},
      {"not a regular file", [](const Home& h) { fs::create_directories(h.Uca()); }, false,
       "could not be read (it is not a regular file)", false},
      {"a link into a dotfiles folder",
       [](const Home& h) {
         Write(h.root / "dotfiles/thunar/uca.xml", kTheirs);
         fs::create_directories(h.Config());
         fs::create_symlink("../../dotfiles/thunar/uca.xml", h.Uca());
       },
       true, "Added", true,
       [](const Home& h) {
         ASSERT_TRUE(fs::is_symlink(h.Uca()));
         EXPECT_EQ(fs::read_symlink(h.Uca()), "../../dotfiles/thunar/uca.xml");
         EXPECT_NE(Read(h.root / "dotfiles/thunar/uca.xml").find("exo-open %f"), std::string::npos);
         EXPECT_EQ(std::distance(fs::directory_iterator(h.root / "dotfiles/thunar"), fs::directory_iterator()), 1);
       }},
      {"a link to nothing",
       [](const Home& h) {
         fs::create_directories(h.Config());
         fs::create_symlink("../../dotfiles/thunar/uca.xml", h.Uca());
       },
       false, "is a link to a file that cannot be reached", false,
       [](const Home& h) { EXPECT_TRUE(fs::is_symlink(h.Uca())); }},
      {"mode and owner kept",
       [root](const Home& h) {
         Write(h.Uca(), kTheirs);
         fs::permissions(h.Uca(), fs::perms(0640));
         if (root) {
           ASSERT_EQ(::chown(h.Uca().c_str(), 65534, 65534), 0);
         }
       },
       true, "Added", true,
       [root](const Home& h) {
         struct stat st {};
         ASSERT_EQ(::stat(h.Uca().c_str(), &st), 0);
         EXPECT_EQ(st.st_mode & 07777, 0640u);
         if (root) {
           EXPECT_EQ(st.st_uid, 65534u);
           EXPECT_EQ(st.st_gid, 65534u);
         }
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string made = (fs::temp_directory_path() / "sealdoor-thunar-XXXXXX").string();
    ASSERT_NE(::mkdtemp(made.data()), nullptr);
    const Home home{made};
    fs::permissions(home.root, fs::perms(0755));  // for the case run as nobody
    c.setup(home);
    struct stat before {};
    const bool existed = ::stat(home.Uca().c_str(), &before) == 0;
    const std::string text = existed && fs::is_regular_file(home.Uca()) ? Read(home.Uca()) : "";
    const ThunarResult r = AddAs(home, c.asNobody);
    EXPECT_EQ(r.ok, c.ok) << r.text;
    EXPECT_NE(r.text.find(c.says), std::string::npos) << r.text;
    if (c.changes) {
      const std::string after = Read(home.Uca());
      EXPECT_EQ(Count(after, "<unique-id>sealdoor-lock</unique-id>"), 1u);
      EXPECT_EQ(Count(after, "<unique-id>sealdoor-unlock</unique-id>"), 1u);
      EXPECT_NE(AddAs(home, false).text.find("already has"), std::string::npos) << "merged once";
    } else if (existed) {
      struct stat after {};
      ASSERT_EQ(::stat(home.Uca().c_str(), &after), 0);
      EXPECT_EQ(after.st_ino, before.st_ino);
      EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
      if (fs::is_regular_file(home.Uca())) {
        EXPECT_EQ(Read(home.Uca()), text);
      }
    }
    c.check(home);
    // No working file left beside it.
    if (fs::is_directory(home.Config()) && !fs::is_directory(home.Uca())) {
      for (const auto& e : fs::directory_iterator(home.Config())) {
        EXPECT_EQ(e.path().filename().string().find(".uca.xml"), std::string::npos) << e.path();
      }
    }
    std::error_code ec;
    fs::permissions(home.Uca(), fs::perms::owner_all, ec);
    fs::remove_all(home.root, ec);
  }
}

}  // namespace
}  // namespace sealdoor::app
