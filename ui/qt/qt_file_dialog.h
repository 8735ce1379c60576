#pragma once
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "ui/file_dialog.h"

class QFileDialog;

namespace sealdoor::ui {

// QFileDialog set up from the dispatcher's options: the desktop's own
// dialog where the platform theme offers one (GTK, KDE, the portal), Qt's
// own where there is none.
class QtFileDialog final : public FileDialog {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }
  // Qt's own dialog even where the desktop has one (tests drive it).
  void SetQtDialogOnly(bool only) { qtOnly_ = only; }
  std::optional<std::string> Show(const FileDialogOptions& options) override;

  // Called with the dialog once it is set up, before it runs; tests use it
  // to look at and drive the real dialog.
  std::function<void(QFileDialog&)> onShown;

 private:
  QPointer<QWidget> parent_;
  bool qtOnly_ = false;
};

// "Description|*.a;*.b|..." as Qt name filters. "*.*" matches every file,
// names without a dot included, as it does on Windows.
[[nodiscard]] QStringList NameFilters(const QString& filter);

// The files the user chose in an accepted dialog: in Qt's own dialog the
// names typed (or put there by clicking) in its file name box, each from
// its own folder, for the list's selection can lose some of them; else
// what the dialog reports.
[[nodiscard]] QStringList ChosenFiles(const QFileDialog& dialog);

}  // namespace sealdoor::ui
