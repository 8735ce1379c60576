#pragma once
// Windows' names are sequences of 16-bit units that need not be valid
// UTF-16: a surrogate may stand alone. Inside Sealdoor they travel as
// WTF-8, the UTF-8 that also writes such a lone surrogate as the three
// bytes its code point would take, so that every name comes back exactly
// as the system gave it. Valid UTF-16 gives plain UTF-8.

#include <string>
#include <string_view>

namespace sealdoor {

[[nodiscard]] std::string Wtf8FromUtf16(std::u16string_view units);

// Back to 16-bit units: a surrogate written alone becomes that unit again.
// A byte that begins no character (text that is not WTF-8 at all) becomes
// U+FFFD.
[[nodiscard]] std::u16string Utf16FromWtf8(std::string_view text);

}  // namespace sealdoor
