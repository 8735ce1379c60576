#pragma once
#include "engine/window_port.h"

namespace sealdoor::ui {

class Form4View;
class MessageBoxes;

// The engine's view of the main window: the password box, the progress
// panel, message boxes and event processing.
class Form4Port final : public WindowPort {
 public:
  Form4Port(Form4View& view, MessageBoxes& messages) : view_(view), messages_(messages) {}

  std::string Password() const override;
  void SetCaption(Caption which, std::string_view text) override;
  void SetBarWidth(Bar which, int twips) override;
  void ShowProgress() override;
  void Message(std::string_view text, MessageStyle style) override;
  void Yield() override;

 private:
  Form4View& view_;
  MessageBoxes& messages_;
};

}  // namespace sealdoor::ui
