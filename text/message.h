#pragma once
// A message as the user is shown it: its text and how it looks.

#include <string>

namespace sealdoor::text {

// Message box styles, as numbers: no icon, critical, exclamation, information.
enum class MessageStyle : int { None = 0, Critical = 16, Exclamation = 48, Information = 64 };

struct Message {
  std::string text;
  MessageStyle style = MessageStyle::None;
};

}  // namespace sealdoor::text
