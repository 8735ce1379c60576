#pragma once
// Where the programs a Windows test starts are: named from the folder of
// the test's own program, as the build puts them.

#include <filesystem>

#include "engine/win32/windows_h.h"

namespace sealdoor::test {

inline std::filesystem::path BesideThisTest(const std::filesystem::path& relative) {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  return (std::filesystem::path(self).parent_path() / relative).lexically_normal();
}

}  // namespace sealdoor::test
