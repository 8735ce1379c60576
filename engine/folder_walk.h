#pragma once
// What the paths of a batch stand for: a file for itself, a folder for the
// regular files below it, in name order. What a walk leaves out is counted,
// so whoever runs the batch can say so once at its end.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace sealdoor {

struct FolderBatch {
  std::vector<std::string> files;  // UTF-8, in order: the paths given, each folder's files in its place
  bool hadFolder = false;          // a path given was a folder
  // Left out of the folders (never of the files named directly):
  std::size_t alreadyDone = 0;  // already in the state the batch makes
  std::size_t links = 0;        // symbolic links, to files or folders
  std::size_t special = 0;      // devices, pipes, sockets
  std::size_t inUse = 0;        // another run of Sealdoor is working on them
  struct Unreadable {
    std::string path;
    std::error_code error;  // why, in the system's words
  };
  std::vector<Unreadable> unreadable;  // what could not be read
};

// Folders in `paths` stand for the regular files below them, found in name
// order (a folder's entries by name, a subfolder's files at its place);
// links, special files and Sealdoor's own working files are not taken.
// `wantLocked` set: a folder's file that is already locked (true) or not
// locked (false) is left out quietly. `tick` runs every few hundred entries,
// so a window can paint while a large tree is read.
[[nodiscard]] FolderBatch ExpandFolders(std::span<const std::string> paths, std::optional<bool> wantLocked,
                                        const std::function<void()>& tick = {});

// Whether `path` is a folder itself (not a link to one).
[[nodiscard]] bool IsFolder(const std::string& path);

}  // namespace sealdoor
