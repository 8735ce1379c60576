#pragma once
// File names as a terminal may show them: quoted and escaped the way `ls`
// does, so a name with a control character can neither act on the terminal
// nor be mistaken for two lines. UTF-8 letters of any script stay as they are.

#include <string>
#include <string_view>

namespace sealdoor::cli {

// Quoted only when the name needs it ("notes.txt", 'my notes.txt',
// 'a'$'\n''b').
[[nodiscard]] std::string QuoteIfNeeded(std::string_view name);

// Always in quotes, as messages show a path ('notes.txt').
[[nodiscard]] std::string QuoteAlways(std::string_view name);

// At most `width` characters on screen, cut in the middle ("start…end.txt")
// so that the beginning and the extension show.
[[nodiscard]] std::string ElideMiddle(std::string_view text, std::size_t width);

// The number of characters (not bytes) of UTF-8 text.
[[nodiscard]] std::size_t DisplayLength(std::string_view text);

}  // namespace sealdoor::cli
