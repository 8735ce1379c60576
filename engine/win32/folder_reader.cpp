#include "engine/folder_reader.h"

#include "engine/win32/windows_h.h"

#include <vector>

#include "engine/file_head.h"
#include "engine/path_text.h"
#include "long_path.h"
#include "unique_handle.h"
#include "wide.h"

namespace sealdoor {
namespace fs = std::filesystem;

struct FolderReader::Impl {
  fs::path path;
  win32::UniqueHandle dir;
  FileIdentity identity;
};

namespace {

std::unexpected<std::error_code> Error(DWORD err) {
  return std::unexpected(std::error_code(static_cast<int>(err), std::system_category()));
}

}  // namespace

FolderReader::FolderReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FolderReader::FolderReader(FolderReader&&) noexcept = default;
FolderReader& FolderReader::operator=(FolderReader&&) noexcept = default;
FolderReader::~FolderReader() = default;

std::expected<FolderReader, std::error_code> FolderReader::Open(const fs::path& path) {
  const auto api = win32::ApiPath(path);
  if (!api) return Error(api.error());
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  impl->dir = win32::UniqueHandle(::CreateFileW(api->c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!impl->dir.Valid()) return Error(::GetLastError());
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(impl->dir.Get(), &info)) return Error(::GetLastError());
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Error(ERROR_DIRECTORY);
  impl->identity = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return FolderReader(std::move(impl));
}

std::expected<FolderReader, std::error_code> FolderReader::Child(const std::string& name) const {
  return Open(impl_->path / PathFromText(name));
}

FileIdentity FolderReader::Identity() const noexcept { return impl_->identity; }

std::expected<std::vector<FolderEntry>, std::error_code> FolderReader::Entries() const {
  // Every entry with its attributes, size and file id, a buffer at a time,
  // from the folder's own handle: no file is opened for it.
  std::vector<FolderEntry> entries;
  std::vector<std::uint8_t> buffer(64 * 1024);
  for (bool first = true;; first = false) {
    if (!::GetFileInformationByHandleEx(impl_->dir.Get(), first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                                        buffer.data(), static_cast<DWORD>(buffer.size()))) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_NO_MORE_FILES) break;
      return Error(err);
    }
    for (std::size_t at = 0;;) {
      const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
      const std::wstring name(e->FileName, e->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        FolderEntry entry;
        entry.name = win32::Narrow(name);
        const DWORD a = e->FileAttributes;
        entry.kind = (a & FILE_ATTRIBUTE_REPARSE_POINT) ? FolderEntry::Kind::Link
                     : (a & FILE_ATTRIBUTE_DIRECTORY)   ? FolderEntry::Kind::Folder
                     : (a & FILE_ATTRIBUTE_DEVICE)      ? FolderEntry::Kind::Special
                                                        : FolderEntry::Kind::File;
        entry.identity = {impl_->identity.volume, static_cast<std::uint64_t>(e->FileId.QuadPart)};
        entry.size = static_cast<std::uint64_t>(e->EndOfFile.QuadPart);
        entries.push_back(std::move(entry));
      }
      if (e->NextEntryOffset == 0) break;
      at += e->NextEntryOffset;
    }
  }
  return entries;
}

std::optional<std::vector<std::uint8_t>> FolderReader::Head(const std::string& name, std::size_t) const {
  auto head = ReadFileHead(impl_->path / PathFromText(name));
  if (!head) return std::nullopt;
  return std::move(*head);
}

}  // namespace sealdoor
