#pragma once
// Which files another run of Sealdoor is working on at this moment, so a
// walk through a folder leaves them to it. One implementation per system.

#include <cstdint>
#include <filesystem>
#include <set>
#include <utility>

#include "file_identity.h"

namespace sealdoor {

class FilesInUse {
 public:
  // What other runs hold now; cheap when none runs.
  [[nodiscard]] static FilesInUse Now();

  // True when another run of Sealdoor has `file` open for its work. Where
  // the caller knows the file's identity already, the system need not be
  // asked for it again.
  [[nodiscard]] bool Holds(const std::filesystem::path& file, const FileIdentity* known = nullptr) const;

 private:
  // Linux: the (device, file number) pairs other runs hold locks or leases
  // on. Windows asks per file and keeps nothing here.
  std::set<std::pair<std::uint64_t, std::uint64_t>> held_;
};

}  // namespace sealdoor
