#pragma once
#include <string_view>

#include "text/message.h"

namespace sealdoor::ui {

using text::MessageStyle;

// Modal message boxes titled "Sealdoor" with one OK button.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Show(std::string_view text, MessageStyle style) = 0;
  // A question with Yes and No, No the default: true for Yes. Where no
  // question can be put, the answer is No, so nothing is done unasked.
  virtual bool Ask(std::string_view text) {
    (void)text;
    return false;
  }
};

}  // namespace sealdoor::ui
