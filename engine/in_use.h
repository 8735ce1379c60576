#pragma once
// Which files another run of Sealdoor is working on at this moment, so a
// walk through a folder leaves them to it. One implementation per system.

#include <cstdint>
#include <filesystem>
#include <set>
#include <utility>

namespace sealdoor {

class FilesInUse {
 public:
  // What other runs hold now; cheap when none runs.
  [[nodiscard]] static FilesInUse Now();

  // True when another run of Sealdoor has `file` open for its work.
  [[nodiscard]] bool Holds(const std::filesystem::path& file) const;
  // The same for a file known by its device and number (Linux).
  [[nodiscard]] bool HoldsFile(std::uint64_t device, std::uint64_t file) const;

 private:
  // Linux: the (device, file number) pairs other runs hold locks or leases
  // on. Windows asks per file and keeps nothing here.
  std::set<std::pair<std::uint64_t, std::uint64_t>> held_;
};

}  // namespace sealdoor
