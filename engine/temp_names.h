#pragma once
// Names of working files: six small letters and ".tmp".

#include <cstdint>
#include <optional>
#include <string>

#include "random_source.h"

namespace sealdoor {

// Six letters drawn uniformly from "a" to "z", then ".tmp".
[[nodiscard]] std::string DrawTempFileName(RandomSource& random);

// Working files beside a file being rewritten are named with this prefix
// and a drawn name, so a later run can tell a leftover from a user's file.
inline constexpr std::string_view kWorkingPrefix = ".sealdoor-";

// True for names of the form ".sealdoor-abcdef.tmp".
[[nodiscard]] bool IsWorkingFileName(std::string_view name) noexcept;

// The name under which a new version waits, for an instant, to change
// places with the file whose inode (file number) it gives:
// ".sealdoor-r1234-abcdef.tmp". A run killed in that instant leaves a file
// of this name that a later run can prove was ours by that number.
[[nodiscard]] std::string ExchangeName(std::uint64_t replacedInode, RandomSource& random);

// The file number an exchange name gives, or nothing for any other name.
[[nodiscard]] std::optional<std::uint64_t> ReplacedInode(std::string_view name) noexcept;

// The journal in which a run lists, before they exist, the working files it
// makes in a folder: ".sealdoor-abcdef.journal".
[[nodiscard]] std::string JournalName(RandomSource& random);
[[nodiscard]] bool IsJournalName(std::string_view name) noexcept;

// Any name of Sealdoor's own housekeeping in a folder (working files,
// exchange names, journals): never a user's file to lock or unlock.
[[nodiscard]] bool IsHousekeepingName(std::string_view name) noexcept;

}  // namespace sealdoor
