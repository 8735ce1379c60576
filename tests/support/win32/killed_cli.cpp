// sealdoor-cli that ends itself at once, as Task Manager ends a program,
// right after the N-th call that renames, removes or marks a file or sets
// its attributes: a test runs it for N = 1, 2, ... and sees what a kill
// leaves at each of those moments. The calls are caught in the program's
// own import table, so the engine runs as it is, unchanged.
// Usage: sealdoor-cli-killed N ARGUMENTS...   (status 99 when it ended so)

#include "engine/win32/windows_h.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "engine/process_guard.h"
#include "engine/win32/wide.h"

namespace {

constexpr UINT kKilled = 99;
std::atomic<long> gLeft{0};

void Counted() {
  if (gLeft.fetch_sub(1) == 1) ::TerminateProcess(::GetCurrentProcess(), kKilled);
}

decltype(&::SetFileAttributesW) gSetFileAttributesW;
decltype(&::SetFileInformationByHandle) gSetFileInformationByHandle;
decltype(&::MoveFileExW) gMoveFileExW;
decltype(&::DeleteFileW) gDeleteFileW;

BOOL WINAPI OnSetFileAttributesW(LPCWSTR path, DWORD attributes) {
  const BOOL r = gSetFileAttributesW(path, attributes);
  Counted();
  return r;
}

BOOL WINAPI OnSetFileInformationByHandle(HANDLE h, FILE_INFO_BY_HANDLE_CLASS what, LPVOID info, DWORD size) {
  const BOOL r = gSetFileInformationByHandle(h, what, info, size);
  Counted();
  return r;
}

BOOL WINAPI OnMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  const BOOL r = gMoveFileExW(from, to, flags);
  Counted();
  return r;
}

BOOL WINAPI OnDeleteFileW(LPCWSTR path) {
  const BOOL r = gDeleteFileW(path);
  Counted();
  return r;
}

// Points this program's import of `name` at `ours`; `real` gets what it
// pointed at.
template <class F>
void Catch(const char* name, F ours, F& real) {
  auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
    if (!d->OriginalFirstThunk) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
      DWORD was = 0;
      ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &was);
      real = reinterpret_cast<F>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<decltype(slots->u1.Function)>(ours);
      ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, was, &was);
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  sealdoor::GuardProcess();
  gLeft = std::wcstol(argv[1], nullptr, 10);
  Catch("SetFileAttributesW", &OnSetFileAttributesW, gSetFileAttributesW);
  Catch("SetFileInformationByHandle", &OnSetFileInformationByHandle, gSetFileInformationByHandle);
  Catch("MoveFileExW", &OnMoveFileExW, gMoveFileExW);
  Catch("DeleteFileW", &OnDeleteFileW, gDeleteFileW);
  if (!gSetFileAttributesW || !gSetFileInformationByHandle || !gMoveFileExW || !gDeleteFileW) return 3;
  std::vector<std::string> args;
  for (int i = 2; i < argc; ++i) args.push_back(sealdoor::win32::Narrow(argv[i]));
  return sealdoor::cli::RunCli(args);
}
