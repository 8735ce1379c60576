#pragma once
#include <array>

namespace sealdoor::packaging {

// The hicolor theme's sizes that get a PNG of their own.
inline constexpr std::array<int, 8> kHicolorSizes{16, 22, 24, 32, 48, 64, 128, 256};
// The sizes inside the Windows icon files.
inline constexpr std::array<int, 7> kIcoSizes{16, 20, 24, 32, 48, 64, 256};

}  // namespace sealdoor::packaging
