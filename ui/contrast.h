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

}  // namespace sealdoor::ui
