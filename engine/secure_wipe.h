#pragma once
#include <cstddef>
#include <cstring>
#include <string>

namespace sealdoor {

// Overwrites memory in a way the compiler may not drop as a dead store: the
// call goes through a volatile pointer, so it cannot be proven useless.
inline void WipeBytes(void* p, std::size_t n) noexcept {
  static void* (*const volatile kMemset)(void*, int, std::size_t) = std::memset;
  if (n != 0) kMemset(p, 0, n);
}

// Overwrites a string's characters (its whole capacity) before it goes, so a
// password does not linger in freed memory.
inline void SecureWipe(std::string& s) noexcept {
  WipeBytes(s.data(), s.capacity());
  s.clear();
}

// Holds a copy of a secret and wipes it when it goes out of scope.
class WipedString {
 public:
  explicit WipedString(std::string s) : s_(std::move(s)) {}
  WipedString(const WipedString&) = delete;
  WipedString& operator=(const WipedString&) = delete;
  ~WipedString() { SecureWipe(s_); }
  [[nodiscard]] const std::string& Get() const noexcept { return s_; }

 private:
  std::string s_;
};

}  // namespace sealdoor
