#include "app/single_instance.h"

#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"

namespace sealdoor::app {

// A named mutex in this session's own namespace: one copy per user session.
// The system drops it with the process, however the process ends.
SingleInstance::SingleInstance(std::string name) {
  const std::wstring wide = name.empty() ? L"Local\\Sealdoor.SingleInstance" : win32::Widen(name);
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, wide.c_str());
  if (!mutex) return;  // no lock to be had: better to run twice than not at all
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    first_ = false;
    return;
  }
  handle_ = reinterpret_cast<long long>(mutex);
}

SingleInstance::~SingleInstance() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace sealdoor::app
