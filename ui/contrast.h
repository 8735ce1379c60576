#pragma once
// Legible colours on any desktop: the contrast of two colours as the Web
// Content Accessibility Guidelines measure it, and the choices that keep
// the window's fixed text colours readable under dark palettes too.

#include "form4_view.h"

namespace sealdoor::ui {

// 1 (none) to 21 (black on white).
[[nodiscard]] double ContrastRatio(Rgb a, Rgb b) noexcept;

// The tint of the information boxes: the desktop's tooltip colour where the
// window's fixed texts (blue, dark blue and black, and the bold red
// ones) read on it as well as on the classic light tint, else that classic
// tint.
[[nodiscard]] Rgb InfoTint(Rgb desktopTooltip) noexcept;
inline constexpr Rgb kClassicInfoTint{255, 255, 225};

// The colour for a text without a colour of its own on `background`: the
// desktop's text colour where it reads there (4.5:1), else black or white,
// whichever reads better.
[[nodiscard]] Rgb ReadableText(Rgb desktopText, Rgb background) noexcept;

// What the desktop says of its colours, for a window that paints its own.
struct DesktopColours {
  Rgb tooltip{255, 255, 225};  // the tooltip background
  Rgb text{0, 0, 0};           // text on windows
  // A high-contrast scheme is on: then its window, text and selection
  // colours are the only ones used, as such a scheme asks.
  bool highContrast = false;
  Rgb window{255, 255, 255};
  Rgb windowText{0, 0, 0};
  Rgb highlight{0, 0, 128};
};

// Every colour the window paints with.
struct WindowColours {
  Rgb panel;     // the main panel (light grey)
  Rgb info;      // the information boxes, the progress panel, the bars' tracks
  Rgb panelText; // a text without a colour of its own on the panel
  Rgb infoText;  // a text without a colour of its own on the information tint
  Rgb barFill;   // the bars' blue fill
  bool highContrast = false;
  // A text of the design's own colour (blue, dark blue, red, black) on the
  // information tint: that colour, or the scheme's text in high contrast.
  [[nodiscard]] Rgb Fixed(Rgb designed) const noexcept { return highContrast ? infoText : designed; }
};
[[nodiscard]] WindowColours ColoursFor(const DesktopColours& desktop) noexcept;

}  // namespace sealdoor::ui
