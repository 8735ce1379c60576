#include "engine/file_head.h"

#include "engine/win32/windows_h.h"

#include "engine/format.h"
#include "long_path.h"
#include "unique_handle.h"

namespace sealdoor {

std::expected<std::vector<std::uint8_t>, Failure> ReadFileHead(const std::filesystem::path& given) {
  auto api = win32::ApiPath(given);
  if (!api) return std::unexpected(Failure::System(static_cast<int>(api.error())));
  const std::wstring& path = *api;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::unexpected(Failure::System(static_cast<int>(::GetLastError())));
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return std::unexpected(Failure::Of(Failure::Kind::IsFolder));
  const win32::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) return std::unexpected(Failure::System(static_cast<int>(::GetLastError())));
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK) return std::unexpected(Failure::Of(Failure::Kind::NotRegular));
  std::vector<std::uint8_t> head(format::kHead);
  DWORD got = 0, n = 0;
  while (got < head.size() && ::ReadFile(file.Get(), head.data() + got, static_cast<DWORD>(head.size() - got), &n, nullptr) && n > 0)
    got += n;
  head.resize(got);
  return head;
}

}  // namespace sealdoor
