// The window's colours from the desktop's, on every system: the fixed
// texts read on the information tint under any palette, and a
// high-contrast scheme's own colours are used throughout.

#include <gtest/gtest.h>

#include "ui/contrast.h"

namespace sealdoor::ui {
namespace {

constexpr Rgb kBlue{0, 0, 255}, kDarkBlue{0, 0, 192};

TEST(WindowColours, TheFixedTextsReadOnTheTintUnderAnyPalette) {
  const struct {
    Rgb tooltip, text;
  } desktops[] = {
      {{255, 255, 225}, {0, 0, 0}},        // the classic one
      {{255, 255, 255}, {0, 0, 0}},        // a white tooltip
      {{0x3f, 0x3f, 0x36}, {230, 230, 230}},  // a dark palette
      {{0, 0, 128}, {255, 255, 255}},      // a blue tooltip
      {{128, 128, 128}, {0, 0, 0}},        // mid grey
  };
  for (const auto& d : desktops) {
    DesktopColours desktop;
    desktop.tooltip = d.tooltip;
    desktop.text = d.text;
    const WindowColours c = ColoursFor(desktop);
    EXPECT_FALSE(c.highContrast);
    for (const Rgb fixed : {kBlue, kDarkBlue, kBlack}) EXPECT_GE(ContrastRatio(c.Fixed(fixed), c.info), 4.5);
    EXPECT_GE(ContrastRatio(c.Fixed(kRed), c.info), 3.0);
    EXPECT_GE(ContrastRatio(c.infoText, c.info), 4.5);
    EXPECT_GE(ContrastRatio(c.panelText, c.panel), 4.5);
    EXPECT_EQ(c.panel, (Rgb{192, 192, 192}));
  }
  // A tooltip colour on which they read is the desktop's own.
  DesktopColours light;
  light.tooltip = {255, 255, 240};
  EXPECT_EQ(ColoursFor(light).info, (Rgb{255, 255, 240}));
}

TEST(WindowColours, AHighContrastSchemeIsFollowed) {
  DesktopColours desktop;
  desktop.tooltip = {255, 255, 225};
  desktop.highContrast = true;
  desktop.window = {0, 0, 0};
  desktop.windowText = {255, 255, 0};
  desktop.highlight = {0, 255, 255};
  const WindowColours c = ColoursFor(desktop);
  EXPECT_TRUE(c.highContrast);
  EXPECT_EQ(c.panel, desktop.window);
  EXPECT_EQ(c.info, desktop.window);
  EXPECT_EQ(c.barFill, desktop.highlight);
  for (const Rgb fixed : {kBlue, kDarkBlue, kBlack, kRed}) EXPECT_EQ(c.Fixed(fixed), desktop.windowText);
  EXPECT_EQ(c.panelText, desktop.windowText);
}

}  // namespace
}  // namespace sealdoor::ui
