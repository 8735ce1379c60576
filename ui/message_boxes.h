#pragma once
#include <string>
#include <string_view>

#include "text/message.h"

namespace sealdoor::ui {

using text::MessageStyle;

// Modal message boxes titled "Sealdoor" with one OK button.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Show(std::string_view text, MessageStyle style) = 0;
  // A heading over a list that may be long (one line per file): the
  // toolkits' boxes let the list scroll, and be selected and copied.
  virtual void ShowSummary(std::string_view heading, std::string_view list, MessageStyle style) {
    Show(std::string(heading) + "\r\n\r\n" + std::string(list), style);
  }
  // A question with Yes and No, No the default: true for Yes. Where no
  // question can be put, the answer is No, so nothing is done unasked.
  virtual bool Ask(std::string_view text) {
    (void)text;
    return false;
  }
};

}  // namespace sealdoor::ui
