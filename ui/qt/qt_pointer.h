#pragma once
#include "ui/pointer.h"

namespace sealdoor::ui {

// Qt's override cursor: the busy shape while set, the widgets' own after.
class QtPointer final : public Pointer {
 public:
  void SetBusy() override;
  void SetNormal() override;
};

}  // namespace sealdoor::ui
