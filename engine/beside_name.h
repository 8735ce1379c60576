#pragma once
// Where a version is kept beside a file instead of in its place: "NAME" and
// a suffix, then "... (2)" and so on, never over an existing file.

#include <string>
#include <string_view>

namespace sealdoor {

// The original as it was, kept because it could not go back or go.
inline constexpr std::string_view kOriginalSuffix = ".sealdoor-original";
// What another program put in the file's place while it was replaced.
inline constexpr std::string_view kOtherSuffix = ".sealdoor-other";

// How many names beside one file are tried.
inline constexpr int kMostBeside = 99;

// The n-th name (from 1) for a version kept beside: `base`, "base (2)"...
[[nodiscard]] inline std::string BesideName(std::string_view base, int n) {
  return n == 1 ? std::string(base) : std::string(base) + " (" + std::to_string(n) + ")";
}

}  // namespace sealdoor
