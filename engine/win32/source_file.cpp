#include "engine/win32/windows_h.h"
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/io_faults.h"
#include "engine/path_text.h"
#include "engine/source_file.h"
#include "long_path.h"
#include "source_impl.h"
#include "win32_io.h"
#include "wide.h"

namespace sealdoor {
namespace fs = std::filesystem;
namespace {


std::unexpected<Failure> LastError() { return std::unexpected(Failure::System(static_cast<int>(::GetLastError()))); }

std::uint64_t Size(const BY_HANDLE_FILE_INFORMATION& i) {
  return (std::uint64_t{i.nFileSizeHigh} << 32) | i.nFileSizeLow;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

bool SameVersion(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return SameFile(a, b) && Size(a) == Size(b) && a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime &&
         a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime;
}

// The path of what `h` has open as the system resolved it (links
// followed), in the extended form; empty where it cannot tell.
std::wstring Resolved(HANDLE h) {
  std::wstring buf(1024, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
  }
  if (n == 0 || n >= buf.size() || !buf.starts_with(L"\\\\?\\")) return {};
  buf.resize(n);
  return buf;
}

// Whether `path` names what `info` describes (links not followed).
bool Names(const std::wstring& path, const BY_HANDLE_FILE_INFORMATION& info) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const win32::UniqueHandle named(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION there{};
  return named.Valid() && ::GetFileInformationByHandle(named.Get(), &there) && SameFile(there, info);
}

// The file's path as the system resolved it, where that path names the
// very file open as `file`. Wine gives a name with a trailing dot or space
// without it, the file's or a folder's on the way, which is another file
// or none: then the name it was opened by, in its folder as the system
// resolves that where that holds (a journal's records are signed for the
// folder, whichever way a file in it was named), else as it was opened.
std::wstring FinalPath(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info, const std::wstring& opened) {
  if (std::wstring resolved = Resolved(file); !resolved.empty() && Names(resolved, info)) return resolved;
  const std::size_t slash = opened.find_last_of(L'\\');
  std::wstring folderPath = opened.substr(0, slash);
  if (folderPath.ends_with(L':')) folderPath += L'\\';  // a drive's root, not the drive itself
  const win32::UniqueHandle folder(::CreateFileW(folderPath.c_str(), FILE_READ_ATTRIBUTES,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION folderInfo{};
  if (!folder.Valid() || !::GetFileInformationByHandle(folder.Get(), &folderInfo)) return opened;
  std::wstring resolvedFolder = Resolved(folder.Get());
  if (resolvedFolder.empty() || !Names(resolvedFolder, folderInfo)) return opened;
  if (resolvedFolder.ends_with(L'\\')) resolvedFolder.pop_back();
  return resolvedFolder + opened.substr(slash);
}

}  // namespace

std::expected<void, Failure> CheckUnchanged(const SourceFile::Impl& source) {
  BY_HANDLE_FILE_INFORMATION now{};
  if (!::GetFileInformationByHandle(source.file.Get(), &now)) return LastError();
  // And under its name: another program may have moved it away or put
  // another file in its place.
  const win32::UniqueHandle named(::CreateFileW(source.path.c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!named.Valid()) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
      return std::unexpected(Failure::Of(Failure::Kind::Deleted));
    return std::unexpected(Failure::System(static_cast<int>(err)));
  }
  BY_HANDLE_FILE_INFORMATION byName{};
  if (!::GetFileInformationByHandle(named.Get(), &byName)) return LastError();
  if (!SameVersion(now, source.info) || !SameVersion(byName, source.info))
    return std::unexpected(Failure::Of(Failure::Kind::Changed));
  return {};
}

SourceFile::SourceFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SourceFile::SourceFile(SourceFile&&) noexcept = default;
SourceFile& SourceFile::operator=(SourceFile&&) noexcept = default;
SourceFile::~SourceFile() = default;

std::expected<SourceFile, Failure> SourceFile::Open(const fs::path& path, Action action) {
  if (auto r = io::Step(io::Op::Open); !r) return std::unexpected(r.error());
  auto api = win32::ApiPath(path);
  if (!api) return std::unexpected(Failure::System(static_cast<int>(api.error())));
  const DWORD attributes = ::GetFileAttributesW(api->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return std::unexpected(Failure::Of(Failure::Kind::IsFolder));

  auto impl = std::make_unique<Impl>();
  // Shared for reading and removal only: nobody may write it while we read,
  // and a program that has it open for writing (or keeps it to itself)
  // makes this fail, which is what we want. The right to remove it is asked
  // for too: a program that reads it without letting it be removed would
  // otherwise stop its replacement only at the very end, after all the work.
  impl->file = win32::UniqueHandle(::CreateFileW(api->c_str(), GENERIC_READ | DELETE,
                                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!impl->file.Valid() && ::GetLastError() == ERROR_ACCESS_DENIED)  // it may still be replaceable by its folder
    impl->file = win32::UniqueHandle(::CreateFileW(api->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                   nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!impl->file.Valid()) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION)
      return std::unexpected(Failure::Of(Failure::Kind::OpenUnshared));
    return std::unexpected(Failure::System(static_cast<int>(err)));
  }
  if (::GetFileType(impl->file.Get()) != FILE_TYPE_DISK)
    return std::unexpected(Failure::Of(Failure::Kind::NotRegular));
  if (!::GetFileInformationByHandle(impl->file.Get(), &impl->info)) return LastError();
  if (Locks(action) && impl->info.nNumberOfLinks > 1)
    return std::unexpected(Failure{Failure::Kind::HardLinks, 0, {}, impl->info.nNumberOfLinks - 1, {}});
  impl->path = FinalPath(impl->file.Get(), impl->info, *api);
  impl->folderPath = impl->path.substr(0, impl->path.find_last_of(L'\\'));
  impl->folder = fs::path(win32::DisplayPath(impl->folderPath));
  impl->name = fs::path(impl->path.substr(impl->path.find_last_of(L'\\') + 1));
  impl->sparse = (impl->info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
  return SourceFile(std::move(impl));
}

std::uint64_t SourceFile::Size() const noexcept { return sealdoor::Size(impl_->info); }
const fs::path& SourceFile::Folder() const noexcept { return impl_->folder; }
const fs::path& SourceFile::Name() const noexcept { return impl_->name; }

std::expected<std::size_t, Failure> SourceFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  return io::ReadAt(impl_->file.Get(), offset, buffer);
}

std::expected<Extent, Failure> SourceFile::NextData(std::uint64_t offset) {
  const std::uint64_t size = Size();
  if (offset >= size) return Extent{size, size};
  if (!impl_->sparse) return Extent{offset, size};
  // The ranges the file system keeps on the disk; the rest reads as zeros.
  FILE_ALLOCATED_RANGE_BUFFER query{};
  query.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
  query.Length.QuadPart = static_cast<LONGLONG>(size - offset);
  FILE_ALLOCATED_RANGE_BUFFER range{};
  DWORD got = 0;
  const BOOL ok = ::DeviceIoControl(impl_->file.Get(), FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, &range,
                                    sizeof range, &got, nullptr);
  if (!ok && ::GetLastError() != ERROR_MORE_DATA) return Extent{offset, size};  // it cannot tell: all data
  if (got < sizeof range) return Extent{size, size};                           // only a hole is left
  const auto begin = std::max<std::uint64_t>(offset, static_cast<std::uint64_t>(range.FileOffset.QuadPart));
  const auto end = std::min<std::uint64_t>(size, static_cast<std::uint64_t>(range.FileOffset.QuadPart + range.Length.QuadPart));
  return Extent{std::min(begin, size), std::max(std::min(begin, size), end)};
}

std::expected<void, Failure> SourceFile::CheckNoWriter() { return {}; }  // the share mode keeps writers out

std::expected<void, Failure> SourceFile::CheckUnchanged() { return sealdoor::CheckUnchanged(*impl_); }

}  // namespace sealdoor
