#include "qt_file_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

namespace sealdoor::ui {

QStringList NameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (auto& p : patterns)
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
    out << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return out;
}

std::string SelectionText(const QStringList& chosen) {
  if (chosen.isEmpty()) return {};
  if (chosen.size() == 1) return QDir::toNativeSeparators(chosen.front()).toStdString();
  const QFileInfo first(chosen.front());
  std::string text = QDir::toNativeSeparators(first.absolutePath()).toStdString();
  for (const QString& path : chosen) {
    text += '\0';
    text += QFileInfo(path).fileName().toStdString();
  }
  return text;
}

std::optional<std::string> QtFileDialog::Show(const FileDialogOptions& options) {
  QFileDialog dialog(parent_, options.title, options.initialDir);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(options.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  // A link is chosen as itself; the filters show their descriptions only
  // (the patterns in them are part of the text already).
  dialog.setOptions(QFileDialog::DontResolveSymlinks | QFileDialog::HideNameFilterDetails |
                    QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters(NameFilters(options.filter));
  if (onShown) {
    auto hook = onShown;
    QTimer::singleShot(0, &dialog, [hook, &dialog] { hook(dialog); });
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return SelectionText(dialog.selectedFiles());
}

}  // namespace sealdoor::ui
