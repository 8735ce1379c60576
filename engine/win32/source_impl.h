#pragma once
// What the Windows source file holds; shared with the replacement file,
// which puts its new version in the file's place.

#include "engine/win32/windows_h.h"

#include <filesystem>
#include <string>

#include "engine/source_file.h"
#include "unique_handle.h"

namespace sealdoor {

struct SourceFile::Impl {
  // Open for reading and for its removal, and shared for reading (and
  // removal) only: no other program can open the file for writing while we
  // hold it, nor keep it from being replaced (a reader that does not share
  // removal cannot open it, and one that already has it refuses us here).
  win32::UniqueHandle file;
  BY_HANDLE_FILE_INFORMATION info{};  // the version read
  std::wstring path;                  // absolute and extended (long_path.h), links resolved
  std::wstring folderPath;            // its folder, in the same form
  std::filesystem::path folder;       // both as users read them
  std::filesystem::path name;
  bool sparse = false;                // it has holes: only its data is written
};

// It is still, under its name, the version that was read.
[[nodiscard]] std::expected<void, Failure> CheckUnchanged(const SourceFile::Impl& source);

}  // namespace sealdoor
