#pragma once
#include <string_view>

#include "engine/window_port.h"

namespace sealdoor::ui {

// Modal message boxes titled "Sealdoor" with one OK button.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Show(std::string_view text, MessageStyle style) = 0;
};

}  // namespace sealdoor::ui
