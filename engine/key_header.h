#pragma once
// The 13-line key header: twelve lines of filler letters carrying the
// password's length code and characters in fixed slots, then the signature
// line. Made in memory so the password never has to touch a file.

#include <string>
#include <string_view>

#include "random_source.h"

namespace sealdoor::format {

// A filler letter from one draw r in [0, 1): code r*58 + 65, with the six
// codes between "Z" and "a" giving "V".
[[nodiscard]] char FillerLetter(double r) noexcept;

// The 13 header lines joined without line ends (936 characters) for a
// password of 1 to 24 letters and digits.
[[nodiscard]] std::string MakeKeyHeaderText(std::string_view password, RandomSource& random);

}  // namespace sealdoor::format
