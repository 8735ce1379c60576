#pragma once
// What a batch does to its files. The window's buttons, the hand-over from a
// second launch, the command line and the engine all speak of it this way;
// the words for each action are the front ends' (text/action_texts.h).

#include <cstdint>
#include <optional>
#include <string_view>

namespace sealdoor {

// The numbers are the window's action codes, which the hand-over carries.
enum class Action : std::uint8_t { Lock = 1, Unlock = 2, UnlockAndOpen = 3 };

// What the engine does differently per action.
struct ActionTraits {
  bool locks;  // writes the locked form (else the plain one)
  // Bytes per line of the per-file progress estimate: the lock counts a line
  // per block, the unlock estimates from the locked length.
  double bytesPerEstimatedLine;
  // Bytes per line by which the batch's total drops for a file refused as
  // already in the state asked for.
  double bytesPerRefusedLine;
  // Where our version goes when the file itself must not be replaced.
  std::string_view keptBesideSuffix;
};

inline constexpr ActionTraits kLockTraits{true, 54, 54, ".sealdoor-locked"};
inline constexpr ActionTraits kUnlockTraits{false, 60, 74, ".sealdoor-unlocked"};

[[nodiscard]] constexpr const ActionTraits& TraitsOf(Action a) noexcept {
  return a == Action::Lock ? kLockTraits : kUnlockTraits;
}

[[nodiscard]] constexpr bool Locks(Action a) noexcept { return TraitsOf(a).locks; }

// The action of a code (1, 2, 3), or nothing for any other number.
[[nodiscard]] constexpr std::optional<Action> ActionFromCode(int code) noexcept {
  if (code < 1 || code > 3) return std::nullopt;
  return static_cast<Action>(code);
}

[[nodiscard]] constexpr int CodeOf(Action a) noexcept { return static_cast<int>(a); }

}  // namespace sealdoor
