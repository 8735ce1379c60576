#include "engine/win32/windows_h.h"

#include <mutex>
#include <set>
#include <string>

#include "engine/replacement_file.h"
#include "engine/temp_names.h"
#include "unique_handle.h"
#include "wide.h"

namespace sealdoor {

void RemoveLeftoverWorkingFiles(SourceFile& source) noexcept {
  try {
    const std::filesystem::path& folder = source.Folder();
    // Once per folder and process: a batch of many files in one folder must
    // not read the folder again for every file.
    static std::mutex mutex;
    static std::set<std::wstring> seen;
    {
      const std::lock_guard lock(mutex);
      if (!seen.insert(folder.wstring()).second) return;
    }
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = (folder / L".sealdoor-*.tmp").wstring();
    HANDLE find = ::FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      if (!IsWorkingFileName(win32::Narrow(found.cFileName))) continue;
      const std::wstring path = (folder / found.cFileName).wstring();
      // Ours only with our mark; in use by a running process, it cannot be
      // opened without sharing.
      if (::GetFileAttributesW((path + L":sealdoor.working").c_str()) == INVALID_FILE_ATTRIBUTES) continue;
      const win32::UniqueHandle file(::CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      if (!file.Valid()) continue;
      FILE_DISPOSITION_INFO info{};
      info.DeleteFile = TRUE;
      ::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &info, sizeof info);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  } catch (...) {
    // Cleaning up after others must never stop our own work.
  }
}

}  // namespace sealdoor
