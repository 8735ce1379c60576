#pragma once
#include <string.h>

#include <string>

namespace sealdoor {

// Overwrites a string's characters before it goes, so a password does not
// linger in freed memory.
inline void SecureWipe(std::string& s) noexcept {
  if (!s.empty()) ::explicit_bzero(s.data(), s.size());
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
