#pragma once

namespace sealdoor::ui {

// The application-wide mouse pointer: normal or busy (hourglass).
class Pointer {
 public:
  virtual ~Pointer() = default;
  virtual void SetBusy() = 0;
  virtual void SetNormal() = 0;
};

}  // namespace sealdoor::ui
