#pragma once
// A likely typo caught before "Lock Files" makes files unreadable to their
// owner: the password typed is not that of the locked files already in the
// batch's folders, but differs from one of theirs only by the case of its
// letters or by one character. Only the heads of those files are read, a few
// hundred at most; what a stored password is never leaves this file.

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

namespace sealdoor::ui {

enum class Nearness {
  Same,          // the very password
  CaseOnly,      // the same letters, some in the other case
  OneCharacter,  // one added, missing or changed, or two neighbours swapped
  Far,
};

// How the password typed stands to a stored one.
[[nodiscard]] Nearness Compare(std::string_view typed, std::string_view stored) noexcept;

struct TypoGuardLimits {
  std::size_t heads = 256;     // locked-file heads read, in all
  std::size_t entries = 4096;  // folder entries looked at, in all
  // Set from elsewhere: the look ends at the next entry, with what it found.
  const std::atomic<bool>* stop = nullptr;
};

// What the locked files in `folders` say of `typed`: Same when one of them
// has it, else CaseOnly or OneCharacter when one has a password that near,
// else Far (also when there are none).
[[nodiscard]] Nearness NearestStoredPassword(std::span<const std::filesystem::path> folders, std::string_view typed,
                                             TypoGuardLimits limits = {});

// The look above as the window runs it (tests give their own).
using TypoGuard = std::function<Nearness(std::span<const std::filesystem::path>, std::string_view, TypoGuardLimits)>;

}  // namespace sealdoor::ui
