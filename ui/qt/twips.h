#pragma once
#include <QRect>
#include <cmath>

namespace sealdoor::ui {

// Places are kept in twips, 15 to a pixel at 96 dots per inch; Qt scales
// these device-independent pixels by the screen's pixel ratio.
[[nodiscard]] inline int Px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }
[[nodiscard]] inline QRect TwipsRect(int left, int top, int width, int height) {
  return {Px(left), Px(top), Px(width), Px(height)};
}

}  // namespace sealdoor::ui
