#pragma once
// The user's language. Every text is written in the sources once, in
// English, inside Tr(...) (TrN for counts), which is what the catalogues'
// template is extracted from; without a catalogue for the user's language
// the English text stands exactly as written.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace sealdoor::text {

// The text in the user's language.
[[nodiscard]] std::string Tr(std::string_view english);
// The form for `n` of a text that counts: `one` and `many` in English.
[[nodiscard]] std::string TrN(std::string_view one, std::string_view many, std::uint64_t n);

// `pattern` with each "{name}" replaced by its value; a name not given
// stays as it is.
[[nodiscard]] std::string Fill(std::string_view pattern,
                               std::initializer_list<std::pair<std::string_view, std::string_view>> values);

// A number as the user's language writes it: "1,234" in English.
[[nodiscard]] std::string Number(std::uint64_t n);

}  // namespace sealdoor::text
