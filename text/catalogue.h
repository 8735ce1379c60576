#pragma once
// One language's message catalogue, as msgfmt compiles it (a GNU .mo file):
// the English texts and their translations, plural forms by the rule in its
// header. Read whole and checked, so that a damaged or hostile file is
// refused, never read past its end.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "plural_rule.h"

namespace sealdoor::text {

class Catalogue {
 public:
  // A catalogue from the bytes of a .mo file; why not, where they are not one.
  [[nodiscard]] static std::expected<Catalogue, std::string> Parse(std::string bytes);
  [[nodiscard]] static std::expected<Catalogue, std::string> Read(const std::filesystem::path& file);

  // The translation of `english`; nullopt where the catalogue has none.
  [[nodiscard]] std::optional<std::string_view> Find(std::string_view english) const;
  // The form for `n` of a counting text, known by its singular; nullopt
  // where the catalogue has none.
  [[nodiscard]] std::optional<std::string_view> FindPlural(std::string_view one, std::uint64_t n) const;
  // Every form of a counting text (one for a plain text); empty where the
  // catalogue has none.
  [[nodiscard]] std::vector<std::string_view> Forms(std::string_view one) const;

  [[nodiscard]] std::size_t Size() const noexcept { return entries_.size(); }
  [[nodiscard]] const PluralRule& Plurals() const noexcept { return plurals_; }
  // Every English text it translates (a counting text by its singular).
  [[nodiscard]] std::vector<std::string_view> Texts() const;

 private:
  Catalogue() = default;

  // The bytes stay where they are however the catalogue moves: the entries
  // point into them.
  std::unique_ptr<const std::string> bytes_;
  std::unordered_map<std::string_view, std::string_view> entries_;  // translations, forms split by NUL
  PluralRule plurals_;
};

}  // namespace sealdoor::text
