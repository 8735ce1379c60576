// The journal of working files: what it lists survives being cut short,
// and what a later run does by it, case by case, for a run that died at
// any step of replacing a file.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/journal.h"

namespace sealdoor {
namespace {

const journal::Signer kSigner{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, "/home/u/docs",
                              ".sealdoor-abcdef.journal"};

std::string Journal(const journal::Signer& signer, const std::vector<std::string>& records) {
  std::string text(journal::kHeader);
  for (const auto& r : records) text += signer.Sign(r);
  return text;
}

TEST(SipHash, ReferenceVectors) {
  SipKey key{};
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  std::string message;
  EXPECT_EQ(SipHash24(key, message), 0x726fdb47dd0e0e31ULL);
  for (int i = 0; i < 15; ++i) message += static_cast<char>(i);
  EXPECT_EQ(SipHash24(key, message), 0xa129ca6149be45e5ULL);
}

TEST(Journal, ListsNamesOfAnyKindAndSkipsWhatACutLeftHalfWritten) {
  const std::string names[] = {".sealdoor-abcdef.tmp", "report 2024.doc", "naïve\n%name", "C:ü"};
  std::vector<std::string> records;
  for (const auto& n : names) records.push_back(journal::WorkingRecord(n));
  records.push_back(journal::BackupRecord(".sealdoor-bbbbbb.tmp", "Année 1.xls", ".sealdoor-cccccc.tmp"));
  records.push_back(journal::DoneRecord(".sealdoor-bbbbbb.tmp"));
  records.push_back(journal::KeepRecord(".sealdoor-kkkkkk.tmp", "f", "f.sealdoor-original"));
  const std::string text = Journal(kSigner, records);
  const auto whole = journal::Parse(text, kSigner);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->working, std::vector<std::string>(std::begin(names), std::end(names)));
  ASSERT_EQ(whole->backups.size(), 1u);
  EXPECT_EQ(whole->backups[0], (journal::Backup{".sealdoor-bbbbbb.tmp", "Année 1.xls", ".sealdoor-cccccc.tmp"}));
  EXPECT_EQ(whole->done, std::vector<std::string>{".sealdoor-bbbbbb.tmp"});
  EXPECT_EQ(whole->keep, (std::vector<journal::Keep>{{".sealdoor-kkkkkk.tmp", "f", "f.sealdoor-original"}}));

  // Cut at every length: never a name that was not written whole, never
  // one out of order.
  for (std::size_t cut = journal::kHeader.size(); cut < text.size(); ++cut) {
    const auto part = journal::Parse(text.substr(0, cut), kSigner);
    ASSERT_TRUE(part) << cut;
    ASSERT_LE(part->working.size(), std::size(names));
    for (std::size_t i = 0; i < part->working.size(); ++i) EXPECT_EQ(part->working[i], names[i]) << cut;
  }
  // Damage, and what is not a journal at all.
  for (const std::string bad : {"w", "w a b", "w %4", "w %ZZ", "w a%2Fb", "w ..", "x name", "b a b", "w a%00b"})
    EXPECT_TRUE(journal::Parse(Journal(kSigner, {bad}), kSigner)->working.empty()) << bad;
  EXPECT_FALSE(journal::Parse(kSigner.Sign("w .sealdoor-abcdef.tmp"), kSigner));
  EXPECT_FALSE(journal::Parse("", kSigner));
}

TEST(Journal, OnlyRecordsSignedByThisUserForThisFolderAndJournalCount) {
  const std::string text = Journal(kSigner, {journal::WorkingRecord(".sealdoor-abcdef.tmp")});
  ASSERT_EQ(journal::Parse(text, kSigner)->working.size(), 1u);
  auto otherKey = kSigner;
  otherKey.key[0] ^= 1;
  auto otherFolder = kSigner;  // a journal unpacked into another folder
  otherFolder.folder = "/home/u/restored";
  auto otherJournal = kSigner;  // its records copied into another journal
  otherJournal.journal = ".sealdoor-zzzzzz.journal";
  for (const auto& reader : {otherKey, otherFolder, otherJournal})
    EXPECT_TRUE(journal::Parse(text, reader)->working.empty()) << reader.folder << " " << reader.journal;
  // The signature of another record does not carry over, nor does a
  // journal of the earlier, unsigned kind count.
  std::string forged = text;
  forged.replace(forged.find("abcdef.tmp"), 6, "qqqqqq");
  EXPECT_TRUE(journal::Parse(forged, kSigner)->working.empty());
  EXPECT_FALSE(journal::Parse("sealdoor working files 1\nw .sealdoor-abcdef.tmp\n", kSigner));
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
  journal::Contents done = contents;
  done.done = {b};
  using Files = std::map<std::string, std::string>;
  struct Case {
    const char* when;
    journal::Contents contents;
    Files before;
    Files after;
    std::vector<journal::KeptBeside> kept;
  };
  const journal::Contents keep{{w}, {}, {}, {{w, "f", "f.sealdoor-original"}}};
  using Kept = std::vector<journal::KeptBeside>;
  const Case cases[] = {
      {"before anything was moved", contents, {{"f", "original"}, {w, "new"}, {other, "new of g"}},
       {{"f", "original"}}, {}},
      {"the original moved aside, the new version not yet in", contents, {{b, "original"}, {w, "new"}},
       {{"f", "original"}}, {}},
      {"the new version in, the original not yet removed", done, {{"f", "new"}, {b, "original"}}, {{"f", "new"}},
       {}},
      // Whether the new version took its place cannot be told: the
      // original is neither removed nor put back.
      {"the new version in, its record cut off by the crash", contents, {{"f", "new"}, {b, "original"}},
       {{"f", "new"}, {"f.sealdoor-original", "original"}}, Kept{{"f", "f.sealdoor-original"}}},
      {"the new version in, and since moved away by the user", contents, {{b, "original"}},
       {{"f.sealdoor-original", "original"}}, Kept{{"f", "f.sealdoor-original"}}},
      {"the new version in, since deleted, its record written", done, {{b, "original"}}, {}, {}},
      {"all done", done, {{"f", "new"}}, {{"f", "new"}}, {}},
      {"another program made the file while it was away", contents,
       {{"f", "theirs"}, {b, "original"}, {w, "new"}},
       {{"f", "theirs"}, {"f.sealdoor-original", "original"}}, Kept{{"f", "f.sealdoor-original"}}},
      {"the same, and a kept original already there", contents,
       {{"f", "theirs"}, {"f.sealdoor-original", "older"}, {b, "original"}, {w, "new"}},
       {{"f", "theirs"}, {"f.sealdoor-original", "older"}, {"f.sealdoor-original (2)", "original"}},
       Kept{{"f", "f.sealdoor-original (2)"}}},
      {"a version another program writes, to keep", keep, {{"f", "new"}, {w, "theirs"}},
       {{"f", "new"}, {"f.sealdoor-original", "theirs"}}, Kept{{"f", "f.sealdoor-original"}}},
  };
  for (const Case& c : cases) {
    FakeFolder folder;
    folder.files = c.before;
    EXPECT_EQ(journal::Replay(c.contents, folder), c.kept) << c.when;
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
