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
  // Open for reading and shared for reading (and deleting) only: no other
  // program can open the file for writing while we hold it.
  win32::UniqueHandle file;
  BY_HANDLE_FILE_INFORMATION info{};  // the version read
  std::wstring path;                  // absolute, as the system resolved it
  std::filesystem::path folder;
  std::filesystem::path name;
};

// It is still, under its name, the version that was read.
[[nodiscard]] std::expected<void, Failure> CheckUnchanged(const SourceFile::Impl& source);

}  // namespace sealdoor
