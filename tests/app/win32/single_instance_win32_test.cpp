// One copy per session: a second sealdoor.exe ends at once, without a
// window, and leaves the first as it was.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "app/single_instance.h"
#include "engine/win32/windows_h.h"
#include "support/win32/beside_test.h"

namespace {

std::wstring AppPath() { return sealdoor::test::BesideThisTest(SEALDOOR_APP_FROM_TEST).wstring(); }

PROCESS_INFORMATION Start() {
  std::wstring command = L"\"" + AppPath() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  return pi;
}

// Whether a copy holds the session's lock. Looked at, not tried: a try
// that won would hold the lock for an instant, and the copy being watched
// could take itself for a second one.
bool Held() {
  HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, L"Local\\Sealdoor.SingleInstance");
  if (!mutex) return false;
  ::CloseHandle(mutex);
  return true;
}

TEST(SingleInstance, ASecondCopyEndsAtOnceAndLeavesTheFirst) {
  PROCESS_INFORMATION first = Start();
  ASSERT_NE(first.hProcess, nullptr);
  // Wait until the first copy holds the session's lock: a start may take
  // long on a busy machine, only a fault takes a minute.
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!Held() && std::chrono::steady_clock::now() < until) ::Sleep(10);
  ASSERT_TRUE(Held()) << "the first copy did not take the lock within a minute";
  PROCESS_INFORMATION second = Start();
  ASSERT_NE(second.hProcess, nullptr);
  EXPECT_EQ(::WaitForSingleObject(second.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(second.hProcess, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(::WaitForSingleObject(first.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // untouched
  ::TerminateProcess(first.hProcess, 0);
  ::WaitForSingleObject(first.hProcess, 60000);
  for (HANDLE h : {first.hProcess, first.hThread, second.hProcess, second.hThread}) ::CloseHandle(h);
  // Gone with the process however it ended: the next start is the first.
  EXPECT_TRUE(sealdoor::app::SingleInstance().First());
}

// The manifest a program carries (resource 1 of type RT_MANIFEST).
std::string ManifestOf(const std::wstring& program) {
  HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return {};
  std::string manifest;
  if (HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    manifest.assign(bytes, ::SizeofResource(module, found));
  }
  ::FreeLibrary(module);
  return manifest;
}

// The program says it lays itself out per monitor: Windows 10 (1607) and
// later read dpiAwareness, 8.1 reads dpiAware "true/pm". Wine treats every
// program alike, so the declaration itself is what can be looked at.
TEST(Manifest, ThePerMonitorDpiAwarenessIsDeclared) {
  const std::string manifest = ManifestOf(AppPath());
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor<"), std::string::npos);
  EXPECT_NE(manifest.find(">true/pm<"), std::string::npos);
}

// Long paths reach the calls that take plain paths too, where Windows
// allows them; Wine has no such limit to lift.
TEST(Manifest, LongPathsAreDeclared) {
  const std::string manifest = ManifestOf(AppPath());
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true<"),
            std::string::npos);
}

}  // namespace
