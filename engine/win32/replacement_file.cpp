#include "engine/replacement_file.h"

#include "engine/win32/windows_h.h"
#include <aclapi.h>
#include <winioctl.h>

#include <cstring>
#include <string>

#include "engine/beside_name.h"
#include "engine/folder_journal.h"
#include "engine/io_faults.h"
#include "win32_io.h"
#include "engine/journal.h"
#include "journal_store.h"
#include "long_path.h"
#include "source_impl.h"
#include "wide.h"

namespace sealdoor {
namespace fs = std::filesystem;
namespace {

// Renaming by handle with POSIX semantics (Windows 10 1709 and later, on
// NTFS): one step that replaces the target even while it is open, as long
// as every program that has it open lets it be removed (we do).
constexpr FILE_INFO_BY_HANDLE_CLASS kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD kRenameReplaceIfExists = 0x1;
constexpr DWORD kRenamePosixSemantics = 0x2;
// Replaces a read-only file too (Windows 10 1809 and later): the file's
// own mark is never taken off for the exchange, so a kill at any moment
// leaves it on whatever version is under the name.
constexpr DWORD kRenameIgnoreReadOnly = 0x40;

std::unexpected<Failure> SystemFailure(DWORD err) { return std::unexpected(Failure::System(static_cast<int>(err))); }
std::unexpected<Failure> LastError() { return SystemFailure(::GetLastError()); }

bool SetDeleteOnClose(HANDLE h, bool on) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = on ? TRUE : FALSE;
  return ::SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) != 0;
}

// Gives the open file `h` the name `target` (a full path): replacing what is
// there with POSIX semantics (`posix`; a read-only file too with
// `overReadOnly`), or only where nothing is.
bool RenameByHandle(HANDLE h, const std::wstring& target, bool posix, bool overReadOnly = false) {
  const DWORD bytes = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::string buffer(sizeof(FILE_RENAME_INFO) + bytes, '\0');
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->FileNameLength = bytes;
  std::memcpy(info->FileName, target.data(), bytes);
  if (posix) {
    info->Flags = kRenameReplaceIfExists | kRenamePosixSemantics | (overReadOnly ? kRenameIgnoreReadOnly : 0);
    return ::SetFileInformationByHandle(h, kFileRenameInfoEx, info, static_cast<DWORD>(buffer.size())) != 0;
  }
  info->ReplaceIfExists = FALSE;
  return ::SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != 0;
}

// Sets the attributes of the file `h` has open (with the right to write
// them).
bool SetAttributes(HANDLE h, DWORD attributes) {
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) return false;
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return ::SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Removes the file `path` names, which may be read-only: the system
// removes no such file, so its mark goes first.
bool RemoveEvenReadOnly(const std::wstring& path) {
  if (::DeleteFileW(path.c_str())) return true;
  const DWORD err = ::GetLastError();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  const DWORD unmarked = attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY) ||
      !::SetFileAttributesW(path.c_str(), unmarked == 0 ? FILE_ATTRIBUTE_NORMAL : unmarked)) {
    ::SetLastError(err);
    return false;
  }
  return ::DeleteFileW(path.c_str()) != 0;
}

bool SameFile(HANDLE a, const BY_HANDLE_FILE_INFORMATION& b) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(a, &info) && info.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         info.nFileIndexHigh == b.nFileIndexHigh && info.nFileIndexLow == b.nFileIndexLow;
}

// Whether the file under `path` is the one `info` describes.
bool IsFileAt(const std::wstring& path, const BY_HANDLE_FILE_INFORMATION& info) {
  const win32::UniqueHandle named(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return named.Valid() && SameFile(named.Get(), info);
}

std::unexpected<Failure> CannotKeep(Failure::Property what, DWORD err, std::string name = {}) {
  return std::unexpected(Failure::NotKept(what, static_cast<int>(err), std::move(name)));
}

// The access list set on the file itself, if it has one of its own: what is
// inherited from the folder the new file inherits alike.
std::expected<void, Failure> CopyAccessList(HANDLE from, HANDLE to) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD got = ::GetSecurityInfo(from, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                      nullptr, &sd);
  if (got != ERROR_SUCCESS || !dacl) {  // a file system without access lists (FAT, exFAT)
    if (sd) ::LocalFree(sd);
    return {};
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(sd, &control, &revision);
  const SECURITY_INFORMATION which =
      DACL_SECURITY_INFORMATION |
      ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
  const DWORD set = ::SetSecurityInfo(to, SE_FILE_OBJECT, which, nullptr, nullptr, dacl, nullptr);
  ::LocalFree(sd);
  if (set != ERROR_SUCCESS && set != ERROR_NOT_SUPPORTED && set != ERROR_CALL_NOT_IMPLEMENTED)
    return CannotKeep(Failure::Property::Permissions, set);
  return {};
}

// Named streams (the "downloaded from the Internet" mark among them), where
// the file system has them.
std::expected<void, Failure> CopyStreams(const std::wstring& from, const std::wstring& to) {
  WIN32_FIND_STREAM_DATA stream{};
  const HANDLE find = ::FindFirstStreamW(from.c_str(), FindStreamInfoStandard, &stream, 0);
  if (find == INVALID_HANDLE_VALUE) return {};
  std::expected<void, Failure> result;
  do {
    const std::wstring name = stream.cStreamName;  // ":name:$DATA"
    if (name == L"::$DATA") continue;
    const win32::UniqueHandle in(::CreateFileW((from + name).c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    const win32::UniqueHandle out(in.Valid() ? ::CreateFileW((to + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                                             CREATE_ALWAYS, 0, nullptr)
                                             : INVALID_HANDLE_VALUE);
    if (!in.Valid() || !out.Valid()) {
      result = CannotKeep(Failure::Property::Stream, ::GetLastError(), win32::Narrow(name));
      break;
    }
    char buffer[65536];
    DWORD n = 0, written = 0;
    while (::ReadFile(in.Get(), buffer, sizeof buffer, &n, nullptr) && n > 0) {
      if (!::WriteFile(out.Get(), buffer, n, &written, nullptr) || written != n) {
        result = CannotKeep(Failure::Property::Stream, ::GetLastError(), win32::Narrow(name));
        break;
      }
    }
  } while (result && ::FindNextStreamW(find, &stream));
  ::FindClose(find);
  return result;
}

}  // namespace

struct ReplacementFile::Impl {
  SourceFile::Impl& source;
  // This process's journal in the folder, which lists every name below
  // before a file of that name exists.
  std::shared_ptr<FolderJournal> journal;
  win32::UniqueHandle file;
  std::wstring path;          // the working file's extended path
  bool deleteOnClose = true;  // the system removes it if we die, until Commit
  bool placed = false;        // the new version is in the file's place
  bool done = false;

  // The n-th name beside the file for `suffix`, as a full path.
  std::wstring Beside(const std::string& suffix, int n) const {
    return source.folderPath + L"\\" + win32::Widen(BesideName(win32::Narrow(source.name.wstring()) + suffix, n));
  }

  // Gives the working file a free name beside the file.
  std::expected<std::wstring, Failure> NameBeside(const std::string& suffix) {
    for (int n = 1; n <= kMostBeside; ++n) {
      const std::wstring name = Beside(suffix, n);
      if (RenameByHandle(file.Get(), name, false)) return name;
      const DWORD err = ::GetLastError();
      if (err != ERROR_ALREADY_EXISTS && err != ERROR_FILE_EXISTS) return SystemFailure(err);
    }
    return SystemFailure(ERROR_FILE_EXISTS);
  }

  // The file's attributes on the new version, before it takes the file's
  // place or once it is beside: whatever a kill interrupts, the file under
  // its name has its own attributes, read-only among them.
  bool KeepAttributes() {
    return SetAttributes(file.Get(), source.info.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_SPARSE_FILE});
  }

  // Where there is no replacing in one step: the original moves aside, the
  // new version takes its name, the original goes. Each step is in the
  // journal first, so that a run killed half-way is finished by a later
  // one; and what moved aside must be the file we read, or it goes back.
  std::expected<void, Failure> ReplaceInTwoSteps() {
    const std::wstring target = source.path;
    auto backupName = journal->Reserve();
    if (!backupName) return std::unexpected(backupName.error());
    const std::wstring backup = source.folderPath + L"\\" + win32::Widen(*backupName);
    const std::wstring workingName = path.substr(path.find_last_of(L'\\') + 1);
    if (auto r = journal->Note(
            journal::BackupRecord(*backupName, win32::Narrow(source.name.wstring()), win32::Narrow(workingName)));
        !r)
      return r;
    // By our own handle where we may: exactly the file we read moves aside,
    // and the two renames follow each other with nothing in between.
    const bool byHandle = RenameByHandle(source.file.Get(), backup, false);
    if (!byHandle && !::MoveFileExW(target.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED)
        return std::unexpected(Failure::Of(Failure::Kind::OpenUnshared));
      return SystemFailure(err);
    }
    if (!byHandle && !IsFileAt(backup, source.info)) {  // another program's file was in its place: it goes back
      ::MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
      return std::unexpected(Failure::Of(Failure::Kind::Changed));
    }
    if (RenameByHandle(file.Get(), target, false)) {
      placed = true;
      // The rename is on the disk with the file's data; the record that it
      // happened need not be: without it a later run keeps the original
      // beside rather than removing it.
      (void)::FlushFileBuffers(file.Get());
      (void)journal->NoteUnsynced(journal::DoneRecord(*backupName));
      // Gone once we let go of the original; where it will not go, the
      // journal stays and the next run removes it.
      if (!RemoveEvenReadOnly(backup)) {
        const DWORD err = ::GetLastError();
        journal->LeaveForLaterRun();
        return std::unexpected(Failure{Failure::Kind::NotTidied, static_cast<int>(err), {}, 0, *backupName});
      }
      return {};
    }
    const DWORD err = ::GetLastError();
    if (::MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return SystemFailure(err);
    // Another program made a new file under the name in that instant: it
    // stays, and so does the original, beside it.
    for (int n = 1; n <= kMostBeside; ++n) {
      const std::wstring kept = Beside(std::string(kOriginalSuffix), n);
      if (::MoveFileExW(backup.c_str(), kept.c_str(), MOVEFILE_WRITE_THROUGH))
        return std::unexpected(
            Failure{Failure::Kind::NameTaken, 0, {}, 0, win32::Narrow(win32::DisplayPath(kept))});
    }
    return SystemFailure(err);
  }
};

ReplacementFile::ReplacementFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ReplacementFile::ReplacementFile(ReplacementFile&&) noexcept = default;

ReplacementFile::~ReplacementFile() { Close(); }

void ReplacementFile::Close() noexcept {
  if (!impl_) return;
  Impl& w = *impl_;
  if (!w.done) {
    // Marked to go when closed; once unmarked for its commit (and given the
    // file's attributes, read-only perhaps), marked again, or removed by name.
    bool marked = w.deleteOnClose && w.file.Valid();
    if (!marked && w.file.Valid())
      marked = SetAttributes(w.file.Get(), FILE_ATTRIBUTE_HIDDEN) && SetDeleteOnClose(w.file.Get(), true);
    w.file.Reset();
    if (!marked && !w.path.empty()) (void)RemoveEvenReadOnly(w.path);
    w.done = true;
  }
  w.file.Reset();
  w.journal.reset();  // the last file it listed is gone: so is the journal
}

std::expected<ReplacementFile, Failure> ReplacementFile::Create(SourceFile& source) {
  auto impl = std::make_unique<Impl>(Impl{source.Internals(), {}, {}, {}, true, false, false});
  if (auto r = io::Step(io::Op::Open); !r) return std::unexpected(r.error());
  auto journal = FolderJournal::For(MakeJournalStore(impl->source.folderPath));
  if (!journal) return std::unexpected(journal.error());
  impl->journal = std::move(*journal);
  auto made = impl->journal->MakeNamed([&](const std::string& name) -> std::expected<void, Failure> {
    const std::wstring path = impl->source.folderPath + L"\\" + win32::Widen(name);
    win32::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC, 0,
                                           nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr));
    if (!file.Valid()) return LastError();
    // Marked for deletion while we write it: if the process dies, the system
    // removes it (and if it dies before this, the journal names it). Where
    // the mark does not take, the file is not used: nothing would remove it.
    if (!SetDeleteOnClose(file.Get(), true)) {
      const DWORD err = ::GetLastError();
      ::DeleteFileW(path.c_str());
      return SystemFailure(err);
    }
    impl->file = std::move(file);
    impl->path = path;
    return {};
  });
  if (!made) return std::unexpected(made.error());
  if (impl->source.sparse) {
    DWORD ignored = 0;
    ::DeviceIoControl(impl->file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  }
  return ReplacementFile(std::move(impl));
}

std::expected<void, Failure> ReplacementFile::Reserve(std::uint64_t offset, std::uint64_t length) {
  if (impl_->source.sparse) return io::Step(io::Op::Allocate);  // its holes stay holes
  return io::Reserve(impl_->file.Get(), offset + length);
}

std::expected<void, Failure> ReplacementFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  return io::WriteAt(impl_->file.Get(), offset, bytes);
}

std::expected<void, Failure> ReplacementFile::SetSize(std::uint64_t size) {
  FILE_END_OF_FILE_INFO info{};
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFileInformationByHandle(impl_->file.Get(), FileEndOfFileInfo, &info, sizeof info)) return LastError();
  return {};
}

// What the file carries besides its bytes, as ReplaceFileW would keep it:
// its own permissions, its named streams, when it was made. Its attributes
// follow once it is in place.
std::expected<void, Failure> ReplacementFile::Prepare() {
  Impl& w = *impl_;
  if (auto r = CopyAccessList(w.source.file.Get(), w.file.Get()); !r) return r;
  if (auto r = CopyStreams(w.source.path, w.path); !r) return r;
  FILETIME created{};
  if (::GetFileTime(w.source.file.Get(), &created, nullptr, nullptr))
    ::SetFileTime(w.file.Get(), &created, nullptr, nullptr);
  return {};
}

std::vector<std::optional<Failure>> ReplacementFile::SyncAll(std::span<ReplacementFile* const> files) {
  std::vector<std::optional<Failure>> result(files.size());
  // Each file's data on the disk before any of them takes its place (the
  // journal that names them is on the disk already).
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (auto r = io::Flush(files[i]->impl_->file.Get()); !r) result[i] = r.error();
  }
  return result;
}

// The renames are written through, or flushed with the file they name.
std::expected<void, Failure> ReplacementFile::SyncFolder(bool) noexcept { return {}; }

std::vector<FolderSyncFailure> ReplacementFile::SyncWaitingFolders() noexcept { return {}; }

bool ReplacementFile::Placed() const noexcept { return impl_->placed; }

std::expected<void, Failure> ReplacementFile::Commit() {
  Impl& w = *impl_;
  const SourceFile::Impl& src = w.source;
  if (auto r = CheckUnchanged(src); !r) return r;
  // Where tests fail the attributes or the rename: before anything of
  // the commit is done, as a system refusing them would leave it.
  for (const io::Op step : {io::Op::Chmod, io::Op::Rename})
    if (auto r = io::Step(step); !r) return r;
  if (!SetDeleteOnClose(w.file.Get(), false)) return LastError();
  w.deleteOnClose = false;  // from here the journal names it, until it has the file's name
  // The file's attributes go on the new version before it takes the place;
  // the original keeps its own until it goes.
  if (!w.KeepAttributes()) return LastError();
  const bool readOnly = (src.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  std::expected<void, Failure> replaced;
  if (RenameByHandle(w.file.Get(), src.path, true, readOnly)) {
    w.placed = true;
    // The data was flushed before; this puts the rename on the disk with it.
    (void)::FlushFileBuffers(w.file.Get());
  } else {
    replaced = w.ReplaceInTwoSteps();
  }
  if (w.placed) w.done = true;
  return replaced;
}

std::expected<void, Failure> ReplacementFile::Finish() { return {}; }

std::expected<std::string, Failure> ReplacementFile::KeepBeside(const std::string& suffix) {
  Impl& w = *impl_;
  if (w.deleteOnClose) {
    if (!SetDeleteOnClose(w.file.Get(), false)) return LastError();
    w.deleteOnClose = false;
  }
  auto name = w.NameBeside(suffix);
  if (!name) return std::unexpected(name.error());
  // A version kept beside without the file's attributes is still the
  // user's content, kept all the same.
  (void)w.KeepAttributes();
  w.done = true;
  return win32::Narrow(fs::path(*name).filename().wstring());
}

}  // namespace sealdoor
