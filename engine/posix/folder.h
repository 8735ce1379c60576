#pragma once
// A folder files are rewritten in, opened once and looked at once: every
// name in it is reached through this handle (*at calls), and what the
// engine needs to know of it and of its file system is read here, not for
// each file. While a batch runs (BatchScope) the same object serves every
// file of the folder.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>

#include "engine/failure.h"
#include "posix_io.h"

namespace sealdoor {

// What a file system can do, learned from the first file that tries it and
// remembered for the batch: a FUSE file system without nameless files is
// not asked again for every file.
struct FileSystemFacts {
  std::optional<bool> namelessFiles;  // O_TMPFILE
  std::optional<bool> exchange;       // renameat2(RENAME_EXCHANGE)
};

struct Folder {
  std::string path;  // as it was reached; "." for the working folder
  io::UniqueFd dir;
  struct stat st {};
  long fsType = 0;            // statfs's f_type
  bool syncFsTrusted = false;  // one syncfs puts everything written on the disk
  // chattr's flags and, where new files inherit it, the project number.
  int flags = 0;
  std::uint32_t project = 0;
  // A default access list: new files pick up entries the original may lack.
  bool defaultAccessList = false;
  // Who we are, asked once with the folder rather than for every file:
  // what owner and group a new file here gets, and whose files we may
  // give back to their owner.
  uid_t ourUid = 0;
  gid_t ourGid = 0;
  // Its working files of killed runs were looked for already.
  bool leftoversLookedAt = false;
  std::shared_ptr<FileSystemFacts> facts;

  // The folder at `path`, from the batch's folders when a batch runs.
  [[nodiscard]] static std::expected<std::shared_ptr<Folder>, Failure> Get(const std::string& path);

  // Its identity for journals: the path the kernel knows it by.
  [[nodiscard]] const std::string& Id();

 private:
  std::string id_;
};

}  // namespace sealdoor
