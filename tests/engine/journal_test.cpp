// The journal of working files: what it lists survives being cut short,
// and what a later run does by it, case by case, for a run that died at
// any step of replacing a file.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/journal.h"

namespace sealdoor {
namespace {

TEST(Journal, ListsNamesOfAnyKindAndSkipsWhatACutLeftHalfWritten) {
  const std::string names[] = {".sealdoor-abcdef.tmp", "report 2024.doc", "naïve\n%name", "C:ü"};
  std::string text(journal::kHeader);
  for (const auto& n : names) text += journal::WorkingRecord(n);
  text += journal::BackupRecord(".sealdoor-bbbbbb.tmp", "Année 1.xls", ".sealdoor-cccccc.tmp");
  const auto whole = journal::Parse(text);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->working, std::vector<std::string>(std::begin(names), std::end(names)));
  ASSERT_EQ(whole->backups.size(), 1u);
  EXPECT_EQ(whole->backups[0], (journal::Backup{".sealdoor-bbbbbb.tmp", "Année 1.xls", ".sealdoor-cccccc.tmp"}));

  // Cut at every length: never a name that was not written whole, never
  // one out of order.
  for (std::size_t cut = journal::kHeader.size(); cut < text.size(); ++cut) {
    const auto part = journal::Parse(text.substr(0, cut));
    ASSERT_TRUE(part) << cut;
    ASSERT_LE(part->working.size(), std::size(names));
    for (std::size_t i = 0; i < part->working.size(); ++i) EXPECT_EQ(part->working[i], names[i]) << cut;
  }
  // Damage and what is not a journal at all.
  for (const std::string bad : {"w\n", "w a b\n", "w %4\n", "w %ZZ\n", "w a%2Fb\n", "w ..\n", "x name\n",
                                "b a b\n", "w a%00b\n"})
    EXPECT_TRUE(journal::Parse(std::string(journal::kHeader) + bad)->working.empty()) << bad;
  EXPECT_FALSE(journal::Parse("w .sealdoor-abcdef.tmp\n"));
  EXPECT_FALSE(journal::Parse(""));
}

// A folder of names and what they hold, as the replay sees it.
struct FakeFolder final : journal::Folder {
  std::map<std::string, std::string> files;
  bool Exists(const std::string& name) override { return files.contains(name); }
  bool Remove(const std::string& name) override { return files.erase(name) == 1; }
  bool Rename(const std::string& from, const std::string& to) override {
    if (!files.contains(from) || files.contains(to)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
};

TEST(Journal, AReplayPutsEveryFileBackOrFinishesItAndLosesNoVersion) {
  const std::string w = ".sealdoor-wwwwww.tmp", b = ".sealdoor-bbbbbb.tmp", other = ".sealdoor-oooooo.tmp";
  journal::Contents contents;
  contents.working = {w, other, b};
  contents.backups = {{b, "f", w}};
  using Files = std::map<std::string, std::string>;
  struct Case {
    const char* when;
    Files before;
    Files after;
  };
  const Case cases[] = {
      {"before anything was moved", {{"f", "original"}, {w, "new"}, {other, "new of g"}}, {{"f", "original"}}},
      {"the original moved aside, the new version not yet in",
       {{b, "original"}, {w, "new"}},
       {{"f", "original"}}},
      {"the new version in, the original not yet removed", {{"f", "new"}, {b, "original"}}, {{"f", "new"}}},
      {"all done", {{"f", "new"}}, {{"f", "new"}}},
      {"another program made the file while it was away",
       {{"f", "theirs"}, {b, "original"}, {w, "new"}},
       {{"f", "theirs"}, {"f.sealdoor-original", "original"}}},
      {"the same, and a kept original already there",
       {{"f", "theirs"}, {"f.sealdoor-original", "older"}, {b, "original"}, {w, "new"}},
       {{"f", "theirs"}, {"f.sealdoor-original", "older"}, {"f.sealdoor-original (2)", "original"}}},
  };
  for (const Case& c : cases) {
    FakeFolder folder;
    folder.files = c.before;
    journal::Replay(contents, folder);
    EXPECT_EQ(folder.files, c.after) << c.when;
  }
}

TEST(Journal, AnOriginalThatCannotBePutBackIsNeverRemoved) {
  struct Stubborn final : journal::Folder {
    std::map<std::string, std::string> files{{".sealdoor-bbbbbb.tmp", "original"}};
    bool Exists(const std::string& name) override { return files.contains(name); }
    bool Remove(const std::string& name) override { return files.erase(name) == 1; }
    bool Rename(const std::string&, const std::string&) override { return false; }
  } folder;
  journal::Contents contents;
  contents.working = {".sealdoor-bbbbbb.tmp"};
  contents.backups = {{".sealdoor-bbbbbb.tmp", "f", ".sealdoor-wwwwww.tmp"}};
  journal::Replay(contents, folder);
  EXPECT_EQ(folder.files.at(".sealdoor-bbbbbb.tmp"), "original");
}

}  // namespace
}  // namespace sealdoor
