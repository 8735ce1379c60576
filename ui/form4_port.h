#pragma once
#include "engine/window_port.h"

namespace sealdoor::ui {

class Form4;

// The engine's view of the main window: the password box, the progress
// panel, message boxes and event processing.
class Form4Port final : public WindowPort {
 public:
  explicit Form4Port(Form4& window) : window_(window) {}

  std::string Password() const override;
  void SetCaption(Caption which, std::string_view text) override;
  void SetBarWidth(Bar which, int twips) override;
  void ShowProgress() override;
  void Message(std::string_view text, MessageStyle style) override;
  void Yield() override;

 private:
  Form4& window_;
};

}  // namespace sealdoor::ui
