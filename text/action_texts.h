#pragma once
// The words that differ from one action to the next, in one table.

#include <cstddef>
#include <string>

#include "engine/action.h"

namespace sealdoor::text {

struct ActionTexts {
  const char* dialogTitle;  // the file dialog's title
  const char* closingOne;   // the closing message of a batch of one file
  const char* closingMany;  // ... of several
  const char* operation;    // the progress panel's operation line
};

// In English, as the sources write them; pass each through Tr().
[[nodiscard]] const ActionTexts& TextsOf(Action action) noexcept;

// "1 file", "1,234 files": a count and its noun, in the user's language.
[[nodiscard]] std::string Files(std::size_t n);
[[nodiscard]] std::string Folders(std::size_t n);

}  // namespace sealdoor::text
