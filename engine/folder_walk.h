#pragma once
// What the paths of a batch stand for: a file for itself, a folder for the
// regular files below it, in name order, each once. What a walk leaves out
// is counted, so whoever runs the batch can say so once at its end.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "file_identity.h"

namespace sealdoor {

struct FolderBatch {
  std::vector<std::string> files;  // UTF-8, in order: the paths given, each folder's files in its place
  // Beside each file, what the walk saw of it (nothing where it could not
  // look): whoever runs the batch need not look at each file again.
  std::vector<std::optional<FileFacts>> facts;
  bool hadFolder = false;          // a path given was a folder
  bool stopped = false;            // the walk was asked to stop before its end
  // Left out of the folders (never of the files named directly):
  std::size_t alreadyDone = 0;       // already in the state the batch makes
  std::size_t links = 0;             // symbolic links, to files or folders
  std::size_t special = 0;           // devices, pipes, sockets
  std::size_t inUse = 0;             // another run of Sealdoor is working on them
  std::size_t otherFileSystems = 0;  // folders on another file system, with oneFileSystem
  struct Unreadable {
    std::string path;
    std::error_code error;  // why, in the system's words
  };
  std::vector<Unreadable> unreadable;  // what could not be read
};

struct WalkOptions {
  // Set: a folder's file that is already locked (true) or not locked
  // (false) is left out quietly.
  std::optional<bool> wantLocked;
  // Folders on another file system than the folder named are not entered
  // (as find -xdev, tar --one-file-system and rsync -x).
  bool oneFileSystem = false;
  // Asked every few hundred entries, so a window can paint while a large
  // tree is read; false ends the walk where it is.
  std::function<bool()> goOn;
};

// Folders in `paths` stand for the regular files below them, found in name
// order (a folder's entries by name, a subfolder's files at its place);
// links, special files and Sealdoor's own working files are not taken. A
// folder met again (named twice, inside another named, seen through a bind
// mount) is walked once, and a file found twice is taken once.
[[nodiscard]] FolderBatch ExpandFolders(std::span<const std::string> paths, const WalkOptions& options = {});

// Whether `path` is a folder itself (not a link to one).
[[nodiscard]] bool IsFolder(const std::string& path);

}  // namespace sealdoor
