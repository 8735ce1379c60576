#include "engine/replacement_file.h"

#include "engine/win32/windows_h.h"

#include <string>

#include "engine/io_faults.h"
#include "engine/temp_names.h"
#include "source_impl.h"
#include "wide.h"

namespace sealdoor {
namespace fs = std::filesystem;
namespace {

// The stream that marks a working file as ours, so a later run can tell a
// leftover of a killed run from a user's own file.
constexpr const wchar_t* kMark = L":sealdoor.working";

std::unexpected<Failure> SystemFailure(DWORD err) { return std::unexpected(Failure::System(static_cast<int>(err))); }
std::unexpected<Failure> LastError() { return SystemFailure(::GetLastError()); }

bool SetDeleteOnClose(HANDLE h, bool on) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = on ? TRUE : FALSE;
  return ::SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) != 0;
}

}  // namespace

struct ReplacementFile::Impl {
  SourceFile::Impl& source;
  SystemRandom random;  // its own: the file may outlive the engine object that made it
  win32::UniqueHandle file;
  std::wstring path;  // the working file's absolute path
  bool done = false;
  bool marked = false;

  // Closes the working file for good: from here it has a name that must be
  // removed if anything fails.
  void Close() {
    if (!file.Valid()) return;
    if (marked) (void)::DeleteFileW((path + kMark).c_str());  // it travels no further
    SetDeleteOnClose(file.Get(), false);
    file.Reset();
  }
};

ReplacementFile::ReplacementFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ReplacementFile::ReplacementFile(ReplacementFile&&) noexcept = default;

ReplacementFile::~ReplacementFile() {
  if (!impl_ || impl_->done) return;
  impl_->file.Reset();  // marked for deletion: closing it removes it
  (void)::DeleteFileW(impl_->path.c_str());
}

std::expected<ReplacementFile, Failure> ReplacementFile::Create(SourceFile& source) {
  auto impl = std::make_unique<Impl>(Impl{source.Internals(), {}, {}, {}, false, false});
  if (const int e = io::Injected(io::Op::Open)) return std::unexpected(Failure::System(e));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = win32::Widen(std::string(kWorkingPrefix) + DrawTempFileName(impl->random));
    const std::wstring path = (impl->source.folder / name).wstring();
    win32::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr));
    if (!file.Valid()) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) continue;
      return SystemFailure(err);
    }
    // Marked for deletion while we write it: if the process dies, the system
    // removes it. Undone just before it takes the file's place.
    SetDeleteOnClose(file.Get(), true);
    // Where the volume has named streams (NTFS), one marks the file as ours.
    DWORD flags = 0;
    if (::GetVolumeInformationByHandleW(file.Get(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
        (flags & FILE_NAMED_STREAMS)) {
      const win32::UniqueHandle mark(
          ::CreateFileW((path + kMark).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
      impl->marked = true;
    }
    impl->file = std::move(file);
    impl->path = path;
    return ReplacementFile(std::move(impl));
  }
  return SystemFailure(ERROR_FILE_EXISTS);
}

std::expected<void, Failure> ReplacementFile::Reserve(std::uint64_t offset, std::uint64_t length) {
  if (const int e = io::Injected(io::Op::Allocate)) return std::unexpected(Failure::System(e));
  FILE_ALLOCATION_INFO info{};
  info.AllocationSize.QuadPart = static_cast<LONGLONG>(offset + length);
  if (::SetFileInformationByHandle(impl_->file.Get(), FileAllocationInfo, &info, sizeof info)) return {};
  const DWORD err = ::GetLastError();
  if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL) return SystemFailure(err);
  return {};  // a file system that cannot reserve: go on without
}

std::expected<void, Failure> ReplacementFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (const int e = io::Injected(io::Op::Write)) return std::unexpected(Failure::System(e));
  std::size_t done = 0;
  while (done < bytes.size()) {
    OVERLAPPED at{};
    const std::uint64_t where = offset + done;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(impl_->file.Get(), bytes.data() + done, want, &n, &at)) return LastError();
    done += n;
  }
  return {};
}

std::expected<void, Failure> ReplacementFile::SetSize(std::uint64_t size) {
  FILE_END_OF_FILE_INFO info{};
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFileInformationByHandle(impl_->file.Get(), FileEndOfFileInfo, &info, sizeof info)) return LastError();
  return {};
}

// The attributes, the security descriptor and the streams come with
// ReplaceFileW.
std::expected<void, Failure> ReplacementFile::Prepare() { return {}; }

std::vector<std::optional<Failure>> ReplacementFile::SyncAll(std::span<ReplacementFile* const> files) {
  std::vector<std::optional<Failure>> result(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (const int e = io::Injected(io::Op::Fsync))
      result[i] = Failure::System(e);
    else if (!::FlushFileBuffers(files[i]->impl_->file.Get()))
      result[i] = Failure::System(static_cast<int>(::GetLastError()));
  }
  return result;
}

// ReplaceFileW and MoveFileExW (written through) record the new name.
std::expected<void, Failure> ReplacementFile::SyncFolder() noexcept { return {}; }

std::expected<void, Failure> ReplacementFile::Commit() {
  Impl& w = *impl_;
  const SourceFile::Impl& src = w.source;
  if (auto r = CheckUnchanged(src); !r) return r;
  if (const int e = io::Injected(io::Op::Chmod)) return std::unexpected(Failure::System(e));
  if (const int e = io::Injected(io::Op::Rename)) return std::unexpected(Failure::System(e));
  w.Close();
  // A read-only file is replaced as a normal one and read-only again after;
  // hidden, system and archive come back exactly as they were.
  const DWORD attributes = src.info.dwFileAttributes;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    ::SetFileAttributesW(src.path.c_str(), (attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) | FILE_ATTRIBUTE_NORMAL);
  BOOL ok = ::ReplaceFileW(src.path.c_str(), w.path.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
  DWORD err = ok ? 0 : ::GetLastError();
  if (!ok && (err == ERROR_INVALID_FUNCTION || err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_PARAMETER)) {
    // A file system that cannot replace: a plain rename over it, written
    // through, without what ReplaceFileW would have carried over.
    ok = ::MoveFileExW(w.path.c_str(), src.path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    err = ok ? 0 : ::GetLastError();
  }
  ::SetFileAttributesW(src.path.c_str(), attributes);
  if (!ok) return SystemFailure(err);
  w.done = true;
  return {};
}

std::expected<std::string, Failure> ReplacementFile::KeepBeside(const std::string& suffix) {
  Impl& w = *impl_;
  w.Close();
  const std::wstring base = (w.source.folder / w.source.name).wstring() + win32::Widen(suffix);
  for (int n = 1; n < 100; ++n) {
    const std::wstring name = n == 1 ? base : base + L" (" + std::to_wstring(n) + L")";
    // Never over an existing file: that could be the very version we keep this one beside.
    if (::MoveFileExW(w.path.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH)) {
      ::SetFileAttributesW(name.c_str(), w.source.info.dwFileAttributes);
      w.done = true;
      return win32::Narrow(fs::path(name).filename().wstring());
    }
    const DWORD err = ::GetLastError();
    if (err != ERROR_ALREADY_EXISTS && err != ERROR_FILE_EXISTS) return SystemFailure(err);
  }
  return SystemFailure(ERROR_FILE_EXISTS);
}

}  // namespace sealdoor
