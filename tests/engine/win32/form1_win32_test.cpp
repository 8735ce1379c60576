// The engine on Windows: attributes, files other programs hold, names in
// any script, folders.

#include <gtest/gtest.h>

#include <algorithm>
#include "engine/win32/windows_h.h"
#include <winioctl.h>

#include "../test_support.h"
#include "engine/format.h"
#include "engine/folder_journal.h"
#include "engine/journal.h"
#include "engine/path_text.h"
#include "engine/win32/wide.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using test::Lock;
using test::Outcome;
using test::ReadBytes;
using test::RunEngine;
using test::ScratchDir;
using test::Unlock;
using test::WriteBytes;

DWORD Attributes(const fs::path& p) { return ::GetFileAttributesW(p.c_str()); }

TEST(Attributes, ReadOnlyHiddenSystemAndArchiveAreKept) {
  ScratchDir dir;
  const fs::path f = dir / "f.doc";
  const auto plain = test::RandomBytes(5000, 1);
  for (const DWORD attrs : {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{FILE_ATTRIBUTE_HIDDEN},
                            DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
                            DWORD{FILE_ATTRIBUTE_ARCHIVE}}) {
    WriteBytes(f, plain);
    ASSERT_TRUE(::SetFileAttributesW(f.c_str(), attrs));
    const DWORD before = Attributes(f);
    ASSERT_TRUE(Lock(f)) << attrs;
    EXPECT_EQ(Attributes(f), before) << attrs;
    EXPECT_TRUE(format::IsLocked(ReadBytes(f)));
    ASSERT_TRUE(Unlock(f)) << attrs;
    EXPECT_EQ(Attributes(f), before) << attrs;
    EXPECT_EQ(ReadBytes(f), plain);
    ::SetFileAttributesW(f.c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove(f);
    EXPECT_TRUE(dir.Names().empty()) << "working files left";
  }
}

TEST(OtherPrograms, AFileOpenForWritingOrNotSharedIsRefusedAndReadersAreNot) {
  ScratchDir dir;
  const fs::path f = dir / "report.doc";
  const auto plain = test::RandomBytes(3000, 2);
  WriteBytes(f, plain);
  struct Case {
    const char* what;
    DWORD access, share;
  };
  const Case cases[] = {
      {"a writer that shares everything", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
      {"an office program that shares nothing", GENERIC_READ, 0},
  };
  for (const auto& c : cases) {
    const HANDLE other = ::CreateFileW(f.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE) << c.what;
    Outcome o;
    RunEngine(o, f, true);
    ::CloseHandle(other);
    EXPECT_FALSE(o.result) << c.what;
    ASSERT_EQ(o.port.messages.size(), 1u) << c.what;
    EXPECT_EQ(o.port.messages[0].first,
              "'" + PathText(f) +
                  "' could not be locked: it is open for writing in another program (or in one that does not share it)")
        << c.what;
    EXPECT_EQ(ReadBytes(f), plain) << c.what;
  }
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"report.doc"});
}

TEST(Names, NamesInAnyScriptWork) {
  ScratchDir dir;
  const fs::path f = dir.Path() / PathFromText("\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb \xe6\x96\x87\xe4\xbb\xb6 \xce\xb1\xcf\x81\xcf\x87\xce\xb5\xce\xaf\xce\xbf.txt");
  const auto plain = test::RandomBytes(4000, 3);
  WriteBytes(f, plain);
  Outcome o;
  RunEngine(o, f, true);
  ASSERT_TRUE(o.result);
  EXPECT_TRUE(format::IsLocked(ReadBytes(f)));
  ASSERT_TRUE(Unlock(f));
  EXPECT_EQ(ReadBytes(f), plain);
}

TEST(NotAFile, AFolderIsRefused) {
  ScratchDir dir;
  fs::create_directory(dir / "folder");
  Outcome o;
  RunEngine(o, dir / "folder", true);
  EXPECT_FALSE(o.result);
  ASSERT_EQ(o.port.messages.size(), 1u);
  EXPECT_EQ(o.port.messages[0].first, "'" + PathText(dir / "folder") + "' could not be locked: it is a folder");
}

void WriteText(const fs::path& p, const std::string& text) {
  WriteBytes(p, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// The folder of `file` as the system names it, which a journal's records
// are signed for.
std::string FolderId(const fs::path& file) {
  const HANDLE h = ::CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  std::wstring buf(1024, L'\0');
  const DWORD n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
  ::CloseHandle(h);
  buf.resize(n);
  return win32::Narrow(buf.substr(0, buf.find_last_of(L'\\')));
}

// A journal as a run of this user writes it beside `sibling`.
void WriteJournal(const fs::path& p, const fs::path& sibling, const std::vector<std::string>& records) {
  const journal::Signer signer{JournalKey(), FolderId(sibling), PathText(p.filename())};
  std::string text(journal::kHeader);
  for (const auto& r : records) text += signer.Sign(r);
  WriteText(p, text);
}

TEST(WorkingFiles, WhatADeadRunLeftIsPutBackOrRemovedByItsJournal) {
  ScratchDir dir;
  WriteBytes(dir / "f", test::RandomBytes(900, 13));
  // A run killed between moving "report.doc" aside and putting its new
  // version in: the original waits under a name of ours.
  const auto report = test::RandomBytes(2000, 14);
  WriteBytes(dir / ".sealdoor-backup.tmp", report);
  WriteBytes(dir / ".sealdoor-newver.tmp", {1});
  WriteBytes(dir / ".sealdoor-listed.tmp", {2});
  WriteJournal(dir / ".sealdoor-deadaa.journal", dir / "f",
               {journal::WorkingRecord(".sealdoor-listed.tmp"), journal::WorkingRecord(".sealdoor-newver.tmp"),
                journal::WorkingRecord(".sealdoor-backup.tmp"),
                journal::BackupRecord(".sealdoor-backup.tmp", "report.doc", ".sealdoor-newver.tmp")});
  // A run killed after "memo.doc" had its new version in place, and one
  // killed where that cannot be told (the record that says it was cut off):
  // the former goes, the latter is kept beside, never put back over nothing.
  WriteBytes(dir / "memo.doc", {5});
  WriteBytes(dir / ".sealdoor-oldmem.tmp", {6});
  WriteBytes(dir / ".sealdoor-oldnot.tmp", {7});
  WriteJournal(dir / ".sealdoor-deadbb.journal", dir / "f",
               {journal::WorkingRecord(".sealdoor-oldmem.tmp"), journal::WorkingRecord(".sealdoor-newmem.tmp"),
                journal::BackupRecord(".sealdoor-oldmem.tmp", "memo.doc", ".sealdoor-newmem.tmp"),
                journal::DoneRecord(".sealdoor-oldmem.tmp"), journal::WorkingRecord(".sealdoor-oldnot.tmp"),
                journal::WorkingRecord(".sealdoor-newnot.tmp"),
                journal::BackupRecord(".sealdoor-oldnot.tmp", "notes.doc", ".sealdoor-newnot.tmp")});
  // A run killed before it listed anything: its journal holds the header
  // alone, and goes.
  WriteJournal(dir / ".sealdoor-header.journal", dir / "f", {});
  // A running run: its journal and its file are open.
  WriteJournal(dir / ".sealdoor-liveaa.journal", dir / "f", {journal::WorkingRecord(".sealdoor-runnin.tmp")});
  WriteBytes(dir / ".sealdoor-runnin.tmp", {3});
  // Named like ours, listed nowhere: a user's own.
  WriteBytes(dir / ".sealdoor-notesx.tmp", {4});
  const HANDLE live = ::CreateFileW((dir / ".sealdoor-liveaa.journal").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  const HANDLE running = ::CreateFileW((dir / ".sealdoor-runnin.tmp").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
  Outcome o;
  RunEngine(o, dir / "f", true);
  EXPECT_TRUE(o.result);
  ::CloseHandle(live);
  ::CloseHandle(running);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{".sealdoor-liveaa.journal", ".sealdoor-notesx.tmp",
                                                   ".sealdoor-runnin.tmp", "f", "memo.doc",
                                                   "notes.doc.sealdoor-original", "report.doc"}));
  EXPECT_EQ(ReadBytes(dir / "report.doc"), report);
  EXPECT_EQ(ReadBytes(dir / "memo.doc"), std::vector<std::uint8_t>{5});
  ASSERT_EQ(o.port.messages.size(), 1u);
  EXPECT_EQ(o.port.messages[0].first, "A run that was interrupted left a version of '" + PathText(dir / "notes.doc") +
                                          "'; it is kept as '" + PathText(dir / "notes.doc.sealdoor-original") + "'");
}

TEST(OtherPrograms, AReaderThatDoesNotLetTheFileBeReplacedIsToldOfBeforeAnyWork) {
  ScratchDir dir;
  const fs::path f = dir / "open.doc";
  const auto plain = test::RandomBytes(3000, 5);
  WriteBytes(f, plain);
  const HANDLE reader = ::CreateFileW(f.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  Outcome o;
  RunEngine(o, f, true);
  ::CloseHandle(reader);
  EXPECT_FALSE(o.result);
  // Refused as it is opened: no progress was ever shown for it.
  EXPECT_EQ(std::count(o.port.calls.begin(), o.port.calls.end(), "Frame4 visible"), 0);
  ASSERT_EQ(o.port.messages.size(), 1u);
  EXPECT_EQ(o.port.messages[0].first,
            "'" + PathText(f) +
                "' could not be locked: it is open for writing in another program (or in one that does not share it)");
  EXPECT_EQ(ReadBytes(f), plain);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"open.doc"});
}

TEST(Holes, ASparseFileKeepsItsBytesAndItsHolesWhereWindowsReportsThem) {
  ScratchDir dir;
  const fs::path f = dir / "disk.img";
  const std::uint64_t size = 64ull << 20;
  const auto island = test::RandomBytes(5000, 31);
  {
    const HANDLE h = ::CreateFileW(f.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD ignored = 0;
    ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size / 2 + 13);
    ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
    DWORD n = 0;
    ::WriteFile(h, island.data(), static_cast<DWORD>(island.size()), &n, nullptr);
    at.QuadPart = static_cast<LONGLONG>(size);
    ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
    ::SetEndOfFile(h);
    ::CloseHandle(h);
  }
  const auto plain = ReadBytes(f);
  ASSERT_TRUE(Lock(f));
  ASSERT_TRUE(Unlock(f));
  EXPECT_EQ(ReadBytes(f), plain);
  // Where the file system keeps holes and says where they are, they stay.
  const bool sparseHere = Attributes(f) & FILE_ATTRIBUTE_SPARSE_FILE;
  if (!sparseHere) GTEST_SKIP() << "this file system (or Wine) keeps no sparse files: the bytes are checked only";
  DWORD high = 0;
  const DWORD low = ::GetCompressedFileSizeW(f.c_str(), &high);
  EXPECT_LT((std::uint64_t{high} << 32) | low, size / 4);
}

}  // namespace
}  // namespace sealdoor
