#pragma once
// Paths as text, the one encoding the window, the messages and the command
// line share, on every system: UTF-8; on Linux the name's own bytes, on
// Windows WTF-8 (wtf8.h), which also carries the lone surrogates a name
// may hold, so that every path comes back exactly as the system gave it.
// One implementation per system.

#include <filesystem>
#include <string>
#include <string_view>

namespace sealdoor {

[[nodiscard]] std::string PathText(const std::filesystem::path& p);
[[nodiscard]] std::filesystem::path PathFromText(std::string_view text);

}  // namespace sealdoor
