// The native window in every language: each caption fits its control with
// the control's own font, and each status text fits the status line's
// widest place wherever the English text does.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "engine/win32/wide.h"
#include "text/action_texts.h"
#include "text/catalogue.h"
#include "text/languages.h"
#include "text/tr.h"
#include "text/window_texts.h"
#include "../../text/languages_under_test.h"
#include "window_fixture.h"

namespace sealdoor::ui {
namespace {

using test::Window;

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
  for (const std::string& language : sealdoor::test::Languages()) {
    ASSERT_TRUE(sealdoor::test::UseLanguage(language)) << language;
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
  const auto texts = sealdoor::test::StatusTexts();
  const auto fits = [&](const std::string& t) {
    const SIZE s = Needed(status, t, width);
    return s.cx <= width && s.cy <= height;
  };
  std::vector<bool> english;
  ASSERT_TRUE(sealdoor::test::UseLanguage(""));
  for (const auto& t : texts) english.push_back(fits(t()));
  EXPECT_GT(std::count(english.begin(), english.end(), true), static_cast<long>(texts.size()) / 2);
  for (const std::string& language : sealdoor::test::Languages()) {
    ASSERT_TRUE(sealdoor::test::UseLanguage(language)) << language;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (!english[i]) continue;
      EXPECT_TRUE(fits(texts[i]())) << language << ": " << texts[i]();
    }
  }
  text::UseCatalogue(std::nullopt);
}

}  // namespace
}  // namespace sealdoor::ui
