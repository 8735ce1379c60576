#pragma once
#include "engine/win32/windows_h.h"

#include <utility>

namespace sealdoor::win32 {

// A kernel handle, closed when it goes.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) noexcept : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = std::exchange(o.h_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  [[nodiscard]] HANDLE Get() const noexcept { return h_; }
  [[nodiscard]] bool Valid() const noexcept { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  void Reset() noexcept {
    if (Valid()) ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace sealdoor::win32
