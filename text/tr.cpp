#include "tr.h"

#include <mutex>

#include "catalogue.h"
#include "languages.h"

namespace sealdoor::text {
namespace {

struct Active {
  bool chosen = false;
  std::optional<Catalogue> catalogue;
  std::string language;
  std::optional<std::vector<std::filesystem::path>> folders;  // set by tests
};

// One lock for the rare moments the choice changes (the first text, a
// test's own choice); texts are looked up under it too, since a catalogue a
// test replaces must not go while a text of it is being copied.
std::mutex& Lock() {
  static std::mutex m;
  return m;
}

Active& State() {
  static Active a;
  return a;
}

// The first of the user's languages with a catalogue; the search ends at
// English, which needs none. A catalogue that cannot be read is passed over.
void Choose(Active& a) {
  a.chosen = true;
  a.catalogue.reset();
  a.language.clear();
  const auto folders = a.folders ? *a.folders : CatalogueFolders();
  for (const auto& language : UserLanguages()) {
    for (const auto& folder : folders) {
      std::error_code ec;
      const auto file = CatalogueFile(folder, language);
      if (!std::filesystem::is_regular_file(file, ec)) continue;
      if (auto c = Catalogue::Read(file)) {
        a.catalogue = std::move(*c);
        a.language = language;
        return;
      }
    }
    if (IsEnglish(language)) return;
  }
}

Active& Chosen() {
  Active& a = State();
  if (!a.chosen) Choose(a);
  return a;
}

}  // namespace

std::string Tr(std::string_view english) {
  const std::lock_guard lock(Lock());
  const Active& a = Chosen();
  if (a.catalogue)
    if (const auto found = a.catalogue->Find(english)) return std::string(*found);
  return std::string(english);
}

std::string TrN(std::string_view one, std::string_view many, std::uint64_t n) {
  const std::lock_guard lock(Lock());
  const Active& a = Chosen();
  if (a.catalogue)
    if (const auto found = a.catalogue->FindPlural(one, n)) return std::string(*found);
  return std::string(n == 1 ? one : many);
}

const Catalogue* ActiveCatalogue() {
  const std::lock_guard lock(Lock());
  const Active& a = Chosen();
  return a.catalogue ? &*a.catalogue : nullptr;
}

std::string ActiveLanguage() {
  const std::lock_guard lock(Lock());
  return Chosen().language;
}

void UseCatalogue(std::optional<Catalogue> catalogue, std::string language) {
  const std::lock_guard lock(Lock());
  Active& a = State();
  a.chosen = true;
  a.catalogue = std::move(catalogue);
  a.language = a.catalogue ? std::move(language) : std::string();
}

void UseCatalogueFolders(std::vector<std::filesystem::path> folders) {
  const std::lock_guard lock(Lock());
  Active& a = State();
  a.folders = std::move(folders);
  a.chosen = false;
}

std::string Fill(std::string_view pattern,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  std::string out;
  out.reserve(pattern.size() + 32);
  for (std::size_t i = 0; i < pattern.size();) {
    if (pattern[i] == '{') {
      const auto close = pattern.find('}', i);
      if (close != std::string_view::npos) {
        const std::string_view name = pattern.substr(i + 1, close - i - 1);
        bool filled = false;
        for (const auto& [key, value] : values) {
          if (key == name) {
            out += value;
            filled = true;
            break;
          }
        }
        if (filled) {
          i = close + 1;
          continue;
        }
      }
    }
    out += pattern[i++];
  }
  return out;
}

std::string Number(std::uint64_t n) {
  std::string digits = std::to_string(n);
  // TRANSLATORS: the separator of thousands in numbers, as in "1,234".
  const std::string separator = Tr(",");
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

}  // namespace sealdoor::text
