#pragma once
#include <QPointer>
#include <QWidget>

#include "ui/message_boxes.h"

namespace sealdoor::ui {

// QMessageBox with the icon of each style: none, critical, exclamation
// (warning), information.
class QtMessageBoxes final : public MessageBoxes {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }
  void Show(std::string_view text, MessageStyle style) override;
  // A message box's icon and heading over a read-only list that scrolls.
  void ShowSummary(std::string_view heading, std::string_view list, MessageStyle style) override;
  bool Ask(std::string_view text) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace sealdoor::ui
