#include "cli/edit_guard.h"

#include <utility>

#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"
#include "text/tr.h"

namespace sealdoor::cli {

// A named mutex in the user's session: it goes with the process however
// the process ends.
std::expected<EditGuard, std::string> EditGuard::Take(const std::filesystem::path& file) {
  const std::wstring name = L"Local\\" + win32::Widen(EditGuardName(file));
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, name.c_str());
  if (!mutex) return std::unexpected(
        text::Fill(text::Tr("its edit lock could not be made (error {code})"), {{"code", std::to_string(::GetLastError())}}));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return std::unexpected(text::Tr("another edit of it runs"));
  }
  return EditGuard(reinterpret_cast<std::intptr_t>(mutex));
}

EditGuard::EditGuard(EditGuard&& other) noexcept : handle_(other.handle_), held_(std::exchange(other.held_, false)) {}

EditGuard::~EditGuard() {
  if (!held_) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
}

}  // namespace sealdoor::cli
