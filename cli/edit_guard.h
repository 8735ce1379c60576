#pragma once
// One edit of a file at a time. A second edit of the same file while one
// runs would unlock what the first has open, or lock it under the first
// one's editor; it is refused instead. Held by path, since an editor that
// saves by renaming a new file over the old one changes the file itself.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>

namespace sealdoor::cli {

class EditGuard {
 public:
  // Taken, or why not ("another edit of it runs", or what failed).
  [[nodiscard]] static std::expected<EditGuard, std::string> Take(const std::filesystem::path& file);

  EditGuard(EditGuard&& other) noexcept;
  EditGuard& operator=(EditGuard&&) = delete;
  EditGuard(const EditGuard&) = delete;
  ~EditGuard();

 private:
  explicit EditGuard(std::intptr_t handle) : handle_(handle), held_(true) {}
  std::intptr_t handle_;  // the system's: a locked descriptor, or a named mutex
  bool held_;
};

// The name the guard of `file` goes by: the same for every spelling of its
// path, and short enough for any system's names.
[[nodiscard]] std::string EditGuardName(const std::filesystem::path& file);

}  // namespace sealdoor::cli
