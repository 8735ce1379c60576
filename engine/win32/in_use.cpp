#include "engine/in_use.h"

#include "engine/win32/windows_h.h"

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "long_path.h"
#include "unique_handle.h"

namespace sealdoor {
namespace {

// FILE_PROCESS_IDS_USING_FILE_INFORMATION, of the driver kit's headers.
struct ProcessIdsUsingFile {
  ULONG count;
  ULONG_PTR ids[1];
};
struct IoStatus {
  union {
    LONG status;
    void* pointer;
  };
  ULONG_PTR information;
};
constexpr int kFileProcessIdsUsingFileInformation = 47;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
using QueryFile = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);

QueryFile QueryFileFunction() {
  static const QueryFile query = [] {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<QueryFile>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryInformationFile")))
                 : nullptr;
  }();
  return query;
}

// A process of ours: sealdoor.exe (the window) or sealdoor-cli.exe.
bool IsSealdoor(ULONG_PTR pid) {
  win32::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
  if (!process.Valid()) return false;
  wchar_t image[MAX_PATH * 2];
  DWORD size = static_cast<DWORD>(std::size(image));
  if (!::QueryFullProcessImageNameW(process.Get(), 0, image, &size)) return false;
  std::wstring name(image, size);
  name = name.substr(name.find_last_of(L"\\/") + 1);
  for (auto& c : name) c = static_cast<wchar_t>(std::towlower(c));
  return name == L"sealdoor.exe" || name == L"sealdoor-cli.exe";
}

}  // namespace

FilesInUse FilesInUse::Now() { return {}; }

// Windows tells which processes have a file open; where it does not (older
// systems, Wine), nothing is known to be in use and the engine's own checks
// stand alone.
bool FilesInUse::Holds(const std::filesystem::path& file, const FileIdentity*) const {
  const QueryFile query = QueryFileFunction();
  if (!query) return false;
  const auto api = win32::ApiPath(file);
  if (!api) return false;
  win32::UniqueHandle handle(::CreateFileW(api->c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.Valid()) return false;
  std::vector<ULONG_PTR> buffer(64);
  for (int attempt = 0; attempt < 8; ++attempt) {
    IoStatus io{};
    const LONG status = query(handle.Get(), &io, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)),
                              kFileProcessIdsUsingFileInformation);
    if (status == kInfoLengthMismatch) {
      buffer.resize(buffer.size() * 4);
      continue;
    }
    if (status < 0) return false;
    const auto* ids = reinterpret_cast<const ProcessIdsUsingFile*>(buffer.data());
    const ULONG count = std::min<ULONG>(ids->count, static_cast<ULONG>(buffer.size() - 1));
    const ULONG_PTR self = ::GetCurrentProcessId();
    for (ULONG i = 0; i < count; ++i)
      if (ids->ids[i] != self && IsSealdoor(ids->ids[i])) return true;
    return false;
  }
  return false;
}

}  // namespace sealdoor
