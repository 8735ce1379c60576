#include "engine/file_identity.h"

#include "engine/win32/windows_h.h"
#include "long_path.h"
#include "unique_handle.h"

namespace sealdoor {

std::optional<FileFacts> FactsOf(const std::filesystem::path& path) {
  const auto api = win32::ApiPath(path);
  if (!api) return std::nullopt;
  // Attributes only: opening it so takes nothing from other programs.
  const win32::UniqueHandle file(::CreateFileW(api->c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
  return FileFacts{{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow},
                   (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow};
}

}  // namespace sealdoor
