#pragma once
// What a second launch hands to the running window: an action and full
// paths, never a password. The same text on every system (UTF-8; on
// Windows WTF-8, carried as the UTF-16 of the names as Windows gives them).
// A message that is not exactly of this form, or larger than its bounds, is
// refused whole.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launch_args.h"

namespace sealdoor::app {

struct Arrival {
  std::optional<Action> action;  // none: for any button
  std::vector<std::string> paths;  // full paths, UTF-8
  std::uint64_t stamp = 0;         // when the launch began, for the order of launches that come together
};

// Bounds of one message: more than any command line can hold.
inline constexpr std::size_t kMaxMessageBytes = 4u << 20;
inline constexpr std::size_t kMaxPaths = 100'000;
inline constexpr std::size_t kMaxPathBytes = 32'767 * 3;

[[nodiscard]] std::string EncodeArrival(const Arrival& arrival);
[[nodiscard]] std::optional<Arrival> DecodeArrival(std::string_view bytes);

}  // namespace sealdoor::app
