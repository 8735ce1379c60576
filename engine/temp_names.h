#pragma once
// Names of working files: six small letters and ".tmp".

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

}  // namespace sealdoor
