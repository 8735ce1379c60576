#pragma once
// What the POSIX source file holds; shared with the replacement file, which
// works in the same folder and copies what the file carries.

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "engine/source_file.h"
#include "file_metadata.h"
#include "folder.h"
#include "posix_io.h"

namespace sealdoor {

struct SourceFile::Impl {
  std::shared_ptr<sealdoor::Folder> folder;  // every name below is relative to it
  io::UniqueFd file;               // read-only
  struct stat st {};               // the version read
  std::filesystem::path folderPath;  // for messages
  std::filesystem::path name;
  // A read lease: the system tells us when anyone opens the file for
  // writing, and holds them until we let go. Not every file system has it.
  bool leased = false;
  // Fewer blocks on the disk than its size needs: it has holes.
  bool sparse = false;
  InodeFlags flags;  // chattr's, of the file

  [[nodiscard]] int Dir() const noexcept { return folder->dir.Get(); }
  // True while nobody has opened the file for writing since we took it.
  [[nodiscard]] bool NoWriter() const noexcept;
};

// Nobody writes the file, and it is still, under its name, the version
// that was read. The last step before the new version takes its place.
[[nodiscard]] std::expected<void, Failure> CheckUnchanged(const SourceFile::Impl& source);

}  // namespace sealdoor
