#include "qt_file_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "ui/selection.h"

namespace sealdoor::ui {
namespace {

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The names in Qt's file name box: "a" "b c" "/other/d" or one bare name.
QStringList TypedNames(const QString& text) {
  if (!text.contains(QLatin1Char('"'))) return text.isEmpty() ? QStringList{} : QStringList{text};
  QStringList names;
  const QStringList tokens = text.split(QLatin1Char('"'));
  for (qsizetype i = 1; i < tokens.size(); i += 2) names << tokens[i];
  return names;
}

// Qt's dialog reads its history, last folder and view from the user's
// settings ("QtProject.conf") when made and writes them back when gone, in
// any of its forms. Sealdoor keeps no settings: while a dialog lives, the
// user's settings are a folder of its own, emptied with it.
class NoDialogSettings {
 public:
  NoDialogSettings() {
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
      QSettings::setPath(format, QSettings::UserScope, scratch_.path());
  }
  ~NoDialogSettings() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
      QSettings::setPath(format, QSettings::UserScope, config);
  }
  NoDialogSettings(const NoDialogSettings&) = delete;
  NoDialogSettings& operator=(const NoDialogSettings&) = delete;

 private:
  QTemporaryDir scratch_;
};

}  // namespace

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

QStringList ChosenFiles(const QFileDialog& dialog) {
  const auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (!edit) return dialog.selectedFiles();  // the desktop's own dialog
  QStringList files;
  const QDir folder = dialog.directory();
  for (QString name : TypedNames(edit->text())) {
    if (name.startsWith(QLatin1Char('~'))) name = QDir::homePath() + name.mid(1);
    const QString path = QDir::cleanPath(folder.absoluteFilePath(name));
    if (!QFileInfo::exists(path)) return dialog.selectedFiles();  // not typed names after all
    files << path;
  }
  return files.isEmpty() ? dialog.selectedFiles() : files;
}

std::optional<std::string> QtFileDialog::Show(const FileDialogOptions& options) {
  const NoDialogSettings noSettings;  // outlives the dialog
  QFileDialog dialog(parent_, FromUtf8(options.title), FromUtf8(options.initialDir));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(options.MultiSelect() ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  // A link is chosen as itself; the filters show their descriptions only
  // (the patterns in them are part of the text already).
  QFileDialog::Options flags = QFileDialog::DontResolveSymlinks | QFileDialog::HideNameFilterDetails;
  if (qtOnly_) flags |= QFileDialog::DontUseNativeDialog;
  dialog.setOptions(flags);
  dialog.setNameFilters(NameFilters(FromUtf8(options.filter)));
  if (onShown) {
    auto hook = onShown;
    QTimer::singleShot(0, &dialog, [hook, &dialog] { hook(dialog); });
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> paths;
  for (const QString& p : ChosenFiles(dialog)) paths.push_back(QDir::toNativeSeparators(p).toStdString());
  if (paths.empty()) return std::nullopt;
  return SelectionFromPaths(paths);
}

}  // namespace sealdoor::ui
