#pragma once
// Paths as UTF-8 text, the one encoding the window, the messages and the
// command line share, on every system.

#include <filesystem>
#include <string>
#include <string_view>

namespace sealdoor {

[[nodiscard]] inline std::string PathText(const std::filesystem::path& p) {
  const std::u8string u = p.u8string();
  return {u.begin(), u.end()};
}

[[nodiscard]] inline std::filesystem::path PathFromText(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace sealdoor
