#pragma once
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "file_dialog.h"

class QFileDialog;

namespace sealdoor::ui {

// QFileDialog (Qt's own, so it behaves the same on every desktop) set up
// from the dispatcher's options.
class QtFileDialog final : public FileDialog {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }
  std::optional<std::string> Show(const FileDialogOptions& options) override;

  // Called with the dialog once it is set up, before it runs; tests use it
  // to look at and drive the real dialog.
  std::function<void(QFileDialog&)> onShown;

 private:
  QPointer<QWidget> parent_;
};

// "Description|*.a;*.b|..." as Qt name filters. "*.*" matches every file,
// names without a dot included, as it does on Windows.
[[nodiscard]] QStringList NameFilters(const QString& filter);

// The chosen paths (all in one folder) in the selection form of FileDialog.
[[nodiscard]] std::string SelectionText(const QStringList& chosen);

}  // namespace sealdoor::ui
