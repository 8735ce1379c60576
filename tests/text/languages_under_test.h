#pragma once
// What the tests of the languages share: the catalogues the build made
// (SEALDOOR_LANGUAGES, SEALDOOR_LOCALE_DIR, given by CMake to each target),
// a way to use one of them, and the longest texts the status line shows.

#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/action.h"
#include "text/action_texts.h"
#include "text/catalogue.h"
#include "text/languages.h"
#include "text/tr.h"
#include "text/window_texts.h"

namespace sealdoor::test {

// The languages the build compiled a catalogue for.
inline std::vector<std::string> Languages() {
  std::vector<std::string> out;
  std::stringstream list(SEALDOOR_LANGUAGES);
  for (std::string l; std::getline(list, l, ',');)
    if (!l.empty()) out.push_back(l);
  return out;
}

#ifdef SEALDOOR_LOCALE_DIR
// Texts in `language` from here on (empty: English as written); false when
// its catalogue cannot be read.
[[nodiscard]] inline bool UseLanguage(const std::string& language) {
  if (language.empty()) {
    text::UseCatalogue(std::nullopt);
    return true;
  }
  auto c = text::Catalogue::Read(text::CatalogueFile(SEALDOOR_LOCALE_DIR, language));
  if (!c) return false;
  text::UseCatalogue(std::move(*c), language);
  return true;
}
#endif

// The status line's longest texts: many files and folders, several
// requests waiting, a batch stopped, a file opened unlocked. Each is made
// when called, in the language then in use.
inline std::vector<std::function<std::string()>> StatusTexts() {
  using text::Tr;
  std::vector<std::function<std::string()>> out;
  const std::optional<Action> actions[] = {std::nullopt, Action::Lock, Action::Unlock, Action::UnlockAndOpen};
  for (const bool typed : {false, true}) {
    for (const auto& a : actions) {
      out.push_back([a, typed] { return text::Waiting(a, 1, 0, typed); });
      if (a != Action::UnlockAndOpen) out.push_back([a, typed] { return text::Waiting(a, 12345, 678, typed); });
      if (a) out.push_back([a, typed] { return text::ActionAsked(*a, typed); });
      out.push_back([a, typed] {
        return text::Waiting(a, 1, 0, typed) + "\n" + text::AlsoWaiting({Action::Lock, Action::Unlock, std::nullopt});
      });
    }
  }
  for (const Action a : {Action::Lock, Action::Unlock}) {
    out.push_back([a] { return text::Stopped(a, 1234, 5678); });
    out.push_back([a] { return text::Stopped(a, 0, 1); });
    out.push_back([a] { return text::NothingToDo(a, ""); });
    out.push_back([a] { return Tr(text::TextsOf(a).closingMany); });
  }
  // A file "Unlock and Open" left open, and locked again once closed.
  for (const bool typed : {false, true}) out.push_back([typed] { return text::OpenUnlocked("Quarterly report.odt", typed); });
  out.push_back([] { return text::LockedAgain("Quarterly report.odt"); });
  for (const char* fixed : {text::kWorking, text::kReadingFolders, text::kStoppedReading, text::kOneAtATime,
                            text::kInvalidCharacters})
    out.push_back([fixed] { return Tr(fixed); });
  return out;
}

}  // namespace sealdoor::test
