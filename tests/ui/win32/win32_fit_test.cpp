// The native window in every language: each caption fits its control with
// the control's own font, and each status text fits the status line's
// widest place wherever the English text does.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/win32/wide.h"
#include "text/action_texts.h"
#include "text/catalogue.h"
#include "text/languages.h"
#include "text/tr.h"
#include "text/window_texts.h"
#include "window_fixture.h"

namespace sealdoor::ui {
namespace {

using test::Window;

std::vector<std::string> Languages() {
  std::vector<std::string> out;
  std::stringstream list(SEALDOOR_LANGUAGES);
  for (std::string l; std::getline(list, l, ',');)
    if (!l.empty()) out.push_back(l);
  return out;
}

void UseLanguage(const std::string& language) {
  if (language.empty()) {
    text::UseCatalogue(std::nullopt);
    return;
  }
  auto c = text::Catalogue::Read(text::CatalogueFile(SEALDOOR_LOCALE_DIR, language));
  ASSERT_TRUE(c.has_value()) << language;
  text::UseCatalogue(std::move(*c), language);
}

// What `text` needs in `control`'s font: one line, or wrapped at `width`.
SIZE Needed(HWND control, const std::string& text, int width = 0) {
  const std::wstring wide = win32::Widen(text);
  HDC dc = ::GetDC(control);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT r{0, 0, width, 0};
  ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | (width > 0 ? DT_WORDBREAK | DT_CENTER : DT_SINGLELINE));
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return {r.right - r.left, r.bottom - r.top};
}

// A button's caption needs its frame and a little air on either side.
constexpr int kButtonMargin = 4;

TEST(Win32Fit, CaptionsFitTheirControlsInEveryLanguage) {
  for (const std::string& language : Languages()) {
    UseLanguage(language);
    Window w;
    for (const layout::Control& c : layout::kControls) {
      if (!*c.caption || (c.kind != layout::Kind::Label && c.kind != layout::Kind::Button)) continue;
      HWND control = w.view.Control(IdOf(c.name, c.index));
      const std::string shown = text::Tr(c.caption);
      const int room = w.view.Px(c.place.width) - (c.kind == layout::Kind::Button ? 2 * kButtonMargin : 0);
      EXPECT_LE(Needed(control, shown).cx, room) << language << " " << c.name << ": " << shown;
    }
  }
  text::UseCatalogue(std::nullopt);
}

TEST(Win32Fit, StatusTextsFitWhereTheEnglishDoes) {
  Window w;
  HWND status = w.view.Control(IdOf("Label12"));
  const int width = w.view.Px(layout::kWideStatus.width), height = w.view.Px(layout::kWideStatus.height);
  std::vector<std::function<std::string()>> texts;
  const std::optional<Action> actions[] = {std::nullopt, Action::Lock, Action::Unlock, Action::UnlockAndOpen};
  for (const bool typed : {false, true}) {
    for (const auto& a : actions) {
      texts.push_back([a, typed] { return text::Waiting(a, 1, 0, typed); });
      if (a != Action::UnlockAndOpen) texts.push_back([a, typed] { return text::Waiting(a, 12345, 678, typed); });
      if (a) texts.push_back([a, typed] { return text::ActionAsked(*a, typed); });
      texts.push_back([a, typed] {
        return text::Waiting(a, 1, 0, typed) + "\n" + text::AlsoWaiting({Action::Lock, Action::Unlock, std::nullopt});
      });
    }
  }
  for (const Action a : {Action::Lock, Action::Unlock}) {
    texts.push_back([a] { return text::Stopped(a, 1234, 5678); });
    texts.push_back([a] { return text::NothingToDo(a, ""); });
  }
  // A file "Unlock and Open" left open, and locked again once closed.
  for (const bool typed : {false, true}) texts.push_back([typed] { return text::OpenUnlocked("Quarterly report.odt", typed); });
  texts.push_back([] { return text::LockedAgain("Quarterly report.odt"); });
  for (const char* fixed : {text::kWorking, text::kReadingFolders, text::kStoppedReading, text::kOneAtATime})
    texts.push_back([fixed] { return text::Tr(fixed); });
  const auto fits = [&](const std::string& t) {
    const SIZE s = Needed(status, t, width);
    return s.cx <= width && s.cy <= height;
  };
  std::vector<bool> english;
  UseLanguage("");
  for (const auto& t : texts) english.push_back(fits(t()));
  EXPECT_GT(std::count(english.begin(), english.end(), true), static_cast<long>(texts.size()) / 2);
  for (const std::string& language : Languages()) {
    UseLanguage(language);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (!english[i]) continue;
      EXPECT_TRUE(fits(texts[i]())) << language << ": " << texts[i]();
    }
  }
  text::UseCatalogue(std::nullopt);
}

}  // namespace
}  // namespace sealdoor::ui
