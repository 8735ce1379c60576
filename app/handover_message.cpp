#include "handover_message.h"

#include <charconv>
#include <filesystem>

#include "engine/path_text.h"

namespace sealdoor::app {
namespace {

constexpr std::string_view kMagic = "sealdoor-files-1";

// The next NUL-ended field of `rest`, or nothing when no NUL ends it.
std::optional<std::string_view> Field(std::string_view& rest) {
  const std::size_t end = rest.find('\0');
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view field = rest.substr(0, end);
  rest.remove_prefix(end + 1);
  return field;
}

}  // namespace

std::string EncodeArrival(const Arrival& arrival) {
  std::string out(kMagic);
  out += '\0';
  out += std::to_string(arrival.action ? CodeOf(*arrival.action) : 0);
  out += '\0';
  out += std::to_string(arrival.stamp);
  out += '\0';
  for (const auto& p : arrival.paths) {
    out += p;
    out += '\0';
  }
  return out;
}

std::optional<Arrival> DecodeArrival(std::string_view bytes) {
  if (bytes.size() > kMaxMessageBytes) return std::nullopt;
  std::string_view rest = bytes;
  const auto magic = Field(rest);
  const auto action = Field(rest);
  const auto stamp = Field(rest);
  if (!magic || *magic != kMagic || !action || action->size() != 1 || !stamp) return std::nullopt;
  Arrival out;
  if ((*action)[0] < '0' || (*action)[0] > '3') return std::nullopt;
  out.action = ActionFromCode((*action)[0] - '0');
  const auto [end, ec] = std::from_chars(stamp->data(), stamp->data() + stamp->size(), out.stamp);
  if (ec != std::errc() || end != stamp->data() + stamp->size() || stamp->empty()) return std::nullopt;
  while (!rest.empty()) {
    const auto path = Field(rest);
    if (!path || path->empty() || path->size() > kMaxPathBytes || out.paths.size() == kMaxPaths) return std::nullopt;
    if (!PathFromText(*path).is_absolute()) return std::nullopt;
    out.paths.emplace_back(*path);
  }
  if (out.action == Action::UnlockAndOpen && out.paths.size() > 1) return std::nullopt;
  return out;
}

}  // namespace sealdoor::app
