#pragma once
// The user's language. Every text is written in the sources once, in
// English, inside Tr(...) (TrN for counts, N where a text is named before
// it is shown), which is what the catalogues' template is extracted from;
// without a catalogue for the user's language the English text stands
// exactly as written.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sealdoor::text {

class Catalogue;

// The text in the user's language.
[[nodiscard]] std::string Tr(std::string_view english);
// The form for `n` of a text that counts: `one` and `many` in English.
[[nodiscard]] std::string TrN(std::string_view one, std::string_view many, std::uint64_t n);

// Marks a text for the catalogues' template where it is named, in a table
// or a constant; Tr() is called where it is shown.
constexpr const char* N(const char* english) { return english; }

// `pattern` with each "{name}" replaced by its value; a name not given
// stays as it is.
[[nodiscard]] std::string Fill(std::string_view pattern,
                               std::initializer_list<std::pair<std::string_view, std::string_view>> values);

// A number as the user's language writes it: "1,234" in English.
[[nodiscard]] std::string Number(std::uint64_t n);

// The catalogue in use: the first of the user's languages that has one in
// the catalogues' folders, chosen at the first text shown; none for English.
[[nodiscard]] const Catalogue* ActiveCatalogue();
// The language of that catalogue ("de", "pt_BR"); empty for English.
[[nodiscard]] std::string ActiveLanguage();

// For tests and tools: texts from `catalogue` from here on (nullopt:
// English as written), whatever the user's languages.
void UseCatalogue(std::optional<Catalogue> catalogue, std::string language = {});
// For tests: catalogues from `folders` rather than beside the program; the
// user's languages choose among them again at the next text.
void UseCatalogueFolders(std::vector<std::filesystem::path> folders);

}  // namespace sealdoor::text
