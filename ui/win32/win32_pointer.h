#pragma once
#include "ui/pointer.h"

namespace sealdoor::ui {

class Win32Form4;

// The hourglass over the whole program, before the window exists and over it.
class Win32Pointer final : public Pointer {
 public:
  void SetWindow(Win32Form4* window) { window_ = window; }
  void SetBusy() override;
  void SetNormal() override;

 private:
  Win32Form4* window_ = nullptr;
};

}  // namespace sealdoor::ui
