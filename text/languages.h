#pragma once
// Which catalogue speaks to the user: the user's languages as the system
// states them, most wanted first, and where the catalogues lie. One
// implementation of each per system (posix/, win32/); the rules that read
// what the system says are shared, so that every system's tests check them.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sealdoor::text {

// The name catalogues go by: "de", "pt_BR", "zh_CN".
using Language = std::string;

// The user's languages, most wanted first, each followed by its plainer
// forms ("de_DE", "de"). Empty: English, as the sources write it.
[[nodiscard]] std::vector<Language> UserLanguages();

// The folders that hold catalogues (LANGUAGE/LC_MESSAGES/sealdoor.mo),
// found from where the running program itself lies: installed, and in the
// build tree alike.
[[nodiscard]] std::vector<std::filesystem::path> CatalogueFolders();

// The environment as gettext reads it: LC_ALL, else LC_MESSAGES, else LANG
// names the locale; "C" and "POSIX" (and "C.UTF-8") mean English, and then
// LANGUAGE, a list of languages separated by colons, is not read either;
// otherwise LANGUAGE where set, else the locale. `get` is getenv's like.
[[nodiscard]] std::vector<Language> LanguagesFromEnvironment(
    const std::function<const char*(const char*)>& get);

// Windows' names of the user's interface languages ("de-DE", "zh-Hans-CN",
// "pt-BR"), most wanted first, as catalogue names.
[[nodiscard]] std::vector<Language> LanguagesFromWindowsNames(const std::vector<std::string>& names);

// A catalogue's file in `folder` for `language`.
[[nodiscard]] std::filesystem::path CatalogueFile(const std::filesystem::path& folder, std::string_view language);

// English, the sources' own language: the search for a catalogue ends at it
// where there is no catalogue of its own (an "en:de" list stays English).
[[nodiscard]] bool IsEnglish(std::string_view language);

}  // namespace sealdoor::text
