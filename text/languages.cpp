#include "languages.h"

#include <algorithm>

namespace sealdoor::text {
namespace {

void AddOnce(std::vector<Language>& list, std::string name) {
  if (!name.empty() && std::find(list.begin(), list.end(), name) == list.end()) list.push_back(std::move(name));
}

// "de_DE.UTF-8@euro": "de_DE@euro", "de_DE", "de@euro", "de". The character
// set is not part of a catalogue's name: every catalogue of ours is UTF-8.
void AddWithPlainerForms(std::vector<Language>& list, std::string_view name) {
  std::string_view modifier;
  if (const auto at = name.find('@'); at != std::string_view::npos) {
    modifier = name.substr(at);
    name = name.substr(0, at);
  }
  name = name.substr(0, name.find('.'));
  const std::string_view language = name.substr(0, name.find('_'));
  if (language.empty()) return;
  // Only names of letters, digits and the separators: a name is part of a
  // path, and must never lead out of the catalogues' folder.
  const auto plain = [](std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '@';
    });
  };
  if (!plain(name) || !plain(modifier)) return;
  if (!modifier.empty()) AddOnce(list, std::string(name) + std::string(modifier));
  AddOnce(list, std::string(name));
  if (language != name) {
    if (!modifier.empty()) AddOnce(list, std::string(language) + std::string(modifier));
    AddOnce(list, std::string(language));
  }
}

bool IsC(std::string_view locale) { return locale == "C" || locale == "POSIX" || locale.starts_with("C."); }

}  // namespace

std::vector<Language> LanguagesFromEnvironment(const std::function<const char*(const char*)>& get) {
  const auto value = [&](const char* name) -> std::string_view {
    const char* v = get(name);
    return v ? std::string_view(v) : std::string_view();
  };
  std::string_view locale = value("LC_ALL");
  if (locale.empty()) locale = value("LC_MESSAGES");
  if (locale.empty()) locale = value("LANG");
  std::vector<Language> out;
  if (IsC(locale)) return out;
  // With no locale named at all (a bare session, a service), LANGUAGE
  // alone still says what the user wants.
  const std::string_view languages = value("LANGUAGE");
  if (!languages.empty()) {
    std::string_view rest = languages;
    while (!rest.empty()) {
      const auto colon = rest.find(':');
      const std::string_view one = rest.substr(0, colon);
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
      if (IsC(one)) {
        AddOnce(out, "en");  // English from here on
        continue;
      }
      AddWithPlainerForms(out, one);
    }
    return out;
  }
  AddWithPlainerForms(out, locale);
  return out;
}

std::vector<Language> LanguagesFromWindowsNames(const std::vector<std::string>& names) {
  std::vector<Language> out;
  for (const auto& name : names) {
    // "ll", "ll-CC", "ll-Scrp-CC"; Chinese by its script where the region
    // does not tell it.
    std::vector<std::string> parts;
    std::string_view rest = name;
    while (!rest.empty()) {
      const auto dash = rest.find_first_of("-_");
      parts.emplace_back(rest.substr(0, dash));
      rest = dash == std::string_view::npos ? std::string_view() : rest.substr(dash + 1);
    }
    if (parts.empty() || parts[0].empty()) continue;
    std::string language = parts[0], script, region;
    for (auto& c : language) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (std::size_t i = 1; i < parts.size(); ++i) {
      if (parts[i].size() == 4 && script.empty())
        script = parts[i];
      else if ((parts[i].size() == 2 || parts[i].size() == 3) && region.empty())
        region = parts[i];
    }
    for (auto& c : region) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (language == "zh" && region.empty()) region = script == "Hant" ? "TW" : "CN";
    if (language == "zh" && script == "Hans" && (region == "TW" || region == "HK" || region == "MO")) region = "CN";
    AddWithPlainerForms(out, region.empty() ? language : language + "_" + region);
  }
  return out;
}

std::filesystem::path CatalogueFile(const std::filesystem::path& folder, std::string_view language) {
  return folder / std::filesystem::path(std::u8string(language.begin(), language.end())) / "LC_MESSAGES" /
         "sealdoor.mo";
}

bool IsEnglish(std::string_view language) { return language == "en" || language.starts_with("en_") ||
                                                   language.starts_with("en@"); }

}  // namespace sealdoor::text
