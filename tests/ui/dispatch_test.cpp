#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "engine/format.h"
#include "fakes.h"
#include "ui/qt/qt_file_dialog.h"

namespace fs = std::filesystem;
using sealdoor::text::MessageStyle;
using sealdoor::test::Child;
using sealdoor::test::Harness;
using sealdoor::test::IsLocked;
using sealdoor::test::Texts;

namespace {

struct Folder {
  QTemporaryDir dir;
  std::string Path() const { return dir.path().toStdString(); }
  std::string Make(const std::string& name, std::size_t bytes, char fill = 'x') const {
    const std::string p = Path() + "/" + name;
    std::ofstream(p, std::ios::binary) << std::string(bytes, fill);
    return p;
  }
};

std::string Several(const std::string& folder, std::initializer_list<std::string> names) {
  std::string s = folder;
  for (const auto& n : names) s += '\0' + n;
  return s;
}

void TypePassword(Harness& h, const char* pw) { Child<QLineEdit>(h.window, "Text1")->setText(pw); }

}  // namespace

class DispatchTest : public QObject {
  Q_OBJECT

 private slots:
  void emptyPasswordOnlyFocusesTheBox();
  void cancelChangesNothing();
  void threeFilesInOrderThenFilesLocked();
  void oneFileUnlockedAndNamesWithSpaces();
  void folderEndingWithSeparator();
  void countersFor100And10Bytes();
  void countersHoldAByteTotalPast2GiB();
  void closingMessageFollowsTheLastFile();
  void busyWhileRunningAndTidyAfter();
  void unlockAndOpenOpensOnlyAfterSuccess();
  void realDialogOffersWhatEachActionNeeds();
  void theDialogKeepsNoSettings();
};

void DispatchTest::emptyPasswordOnlyFocusesTheBox() {
  Harness h;
  h.window.show();
  QVERIFY(QTest::qWaitForWindowActive(&h.window));
  for (const char* button : {"Command4", "Command5", "Command6"}) {
    Child(h.window, "Command7")->setFocus();
    QTest::mouseClick(Child(h.window, button), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("Text1"));
  }
  QVERIFY(h.dialog.asked.empty());
  QVERIFY(h.messages.shown.empty());
}

void DispatchTest::cancelChangesNothing() {
  Harness h;
  TypePassword(h, "pw1");
  h.dialog.answers = {std::nullopt};
  h.form.Command4_Click();
  QCOMPARE(int(h.dialog.asked.size()), 1);
  QVERIFY(h.window.isEnabled());
  QVERIFY(!h.pointer.busy);
  QVERIFY(!Child(h.window, "Frame4")->isVisibleTo(&h.window));
  QVERIFY(Child<QLabel>(h.window, "Label12")->text().isEmpty());
  QCOMPARE(Child<QLabel>(h.window, "Label22")->text(), QString("100%"));  // untouched
  QVERIFY(h.messages.shown.empty());
}

void DispatchTest::threeFilesInOrderThenFilesLocked() {
  Harness h;
  Folder f;
  // b.txt is locked already: its refusal must come between a and c.
  const auto a = f.Make("a.txt", 1000), b = f.Make("b.txt", 900), c = f.Make("c.txt", 800);
  TypePassword(h, "pw1");
  h.dialog.answers = {Several(f.Path(), {"b.txt"}), Several(f.Path(), {"a.txt", "b.txt", "c.txt"})};
  h.form.Command4_Click();
  QVERIFY(IsLocked(b));
  QStringList shownNames;  // the name in the progress panel at each message
  h.messages.onShow = [&](const std::string&) { shownNames << Child<QLabel>(h.window, "Label16")->text(); };
  h.messages.shown.clear();
  h.form.Command4_Click();
  QVERIFY(IsLocked(a) && IsLocked(c));
  QCOMPARE(Texts(h.messages),
           QStringList({"'" + QString::fromStdString(b) + "' is already locked !", "Files locked !"}));
  QCOMPARE(shownNames.front(), QString("a.txt"));  // b was refused after a was done
  QCOMPARE(h.messages.shown.back().second, MessageStyle::Information);
  const auto& o = h.dialog.asked.back();
  QCOMPARE(o.title, std::string("Sealdoor - Lock File(s)"));
  QVERIFY(o.MultiSelect());
  QCOMPARE(o.flags, 3691020);
  QCOMPARE(QString::fromStdString(o.initialDir), QDir::homePath());
  QCOMPARE(o.filter,
           std::string("All Files (*.*)|*.*|Text (*.txt)|*.txt|Pictures (*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|"
                   "Microsoft Word (*.doc)|*.doc|Microsoft Access (*.mdb)|*.mdb|Excel (*.xls)|*.xls|"
                   "Sound (*.wav)|*.wav"));
}

void DispatchTest::oneFileUnlockedAndNamesWithSpaces() {
  Harness h;
  Folder f;
  const auto p = f.Make("my report 2.doc", 5000);
  TypePassword(h, "Secret9");
  h.dialog.answers = {p, p};
  h.form.Command4_Click();
  QCOMPARE(Texts(h.messages), QStringList({"File locked !"}));
  h.form.Command5_Click();
  QCOMPARE(Texts(h.messages), QStringList({"File locked !", "File Unlocked !"}));
  QCOMPARE(Child<QLabel>(h.window, "Label16")->text(), QString("my report 2.doc"));
  QCOMPARE(h.dialog.asked.back().title, std::string("Sealdoor - Unlock File(s)"));
  QVERIFY(!IsLocked(p));
  QCOMPARE(fs::file_size(p), 5000u);
}

void DispatchTest::folderEndingWithSeparator() {
  Harness h;
  Folder f;
  const auto p = f.Make("x.bin", 300);
  TypePassword(h, "pw");
  h.dialog.answers = {Several(f.Path() + "/", {"x.bin"})};  // "/dir/" + "x.bin", one separator between
  h.form.Command4_Click();
  QVERIFY(IsLocked(p));
  QCOMPARE(Texts(h.messages), QStringList({"Files locked !"}));  // one name, but the several form
}

void DispatchTest::countersFor100And10Bytes() {
  Harness h;
  Folder f;
  f.Make("a", 100);
  f.Make("b", 10);
  TypePassword(h, "pw");
  double totalAtFirstLine = -1;
  h.dialog.answers = {Several(f.Path(), {"a", "b"})};
  h.form.Command4_Click();
  totalAtFirstLine = h.form.Counters().TotalLines;
  QCOMPARE(totalAtFirstLine, 2.0);             // 110 / 54, remainder dropped
  QCOMPARE(h.form.Counters().LinesDone, 3.0);  // 2 lines for a, 1 for b
}

void DispatchTest::countersHoldAByteTotalPast2GiB() {
  Harness h;
  Folder f;
  const std::string big = f.Path() + "/big.img";
  { std::ofstream(big, std::ios::binary); }
  fs::resize_file(big, 3ull << 30);  // sparse: no disk space taken
  TypePassword(h, "pw");
  h.dialog.answers = {big};
  h.form.Command5_Click();  // not locked: refused at once, the total lowered by length / 74
  QCOMPARE(Texts(h.messages), QStringList({"'" + QString::fromStdString(big) + "' is not a locked file !"}));
  const double bytes = 3221225472.0;
  QCOMPARE(h.form.Counters().TotalLines, std::floor(bytes / 54) - bytes / 74);
}

void DispatchTest::closingMessageFollowsTheLastFile() {
  Folder f;
  const auto plain = f.Make("plain", 800);
  const auto other = f.Make("other", 800);
  {
    Harness h;  // first refused (not locked), second unlocked: closing message
    TypePassword(h, "pw");
    h.dialog.answers = {other, Several(f.Path(), {"plain", "other"})};
    h.form.Command4_Click();
    h.messages.shown.clear();
    h.form.Command5_Click();
    QCOMPARE(Texts(h.messages),
             QStringList({"'" + QString::fromStdString(plain) + "' is not a locked file !", "Files Unlocked !"}));
  }
  {
    Harness h;  // first unlocked, last refused: no closing message
    TypePassword(h, "pw");
    h.dialog.answers = {other, Several(f.Path(), {"other", "plain"})};
    h.form.Command4_Click();
    h.messages.shown.clear();
    h.form.Command5_Click();
    QCOMPARE(Texts(h.messages), QStringList({"'" + QString::fromStdString(plain) + "' is not a locked file !"}));
    QVERIFY(!IsLocked(other));
  }
}

void DispatchTest::busyWhileRunningAndTidyAfter() {
  Harness h;
  Folder f;
  const auto locked = f.Make("locked", 800);
  f.Make("next", 800);
  TypePassword(h, "pw");
  h.dialog.answers = {locked, Several(f.Path(), {"locked", "next"})};
  h.form.Command4_Click();
  h.messages.shown.clear();
  bool disabled = false, busy = false;
  QString status;
  QColor statusColour;
  // While the batch runs, only "Stop" takes input; the window itself stays
  // enabled, so its title bar's close reaches the behaviour.
  auto onlyStopTakesInput = [&] {
    for (const char* name : {"Text1", "Command4", "Command5", "Command6"})
      if (Child(h.window, name)->isEnabled()) return false;
    auto* command7 = Child<QPushButton>(h.window, "Command7");
    return h.window.isEnabled() && command7->isEnabled() && command7->text() == "Stop";
  };
  h.messages.onShow = [&](const std::string& text) {
    if (!text.ends_with("already locked !")) return;
    auto* l12 = Child<QLabel>(h.window, "Label12");
    disabled = onlyStopTakesInput();
    busy = h.pointer.busy;
    status = l12->text();
    statusColour = l12->palette().color(QPalette::WindowText);
  };
  h.form.Command4_Click();
  QVERIFY(disabled);
  QVERIFY(busy);
  QCOMPARE(status, QString("\n\rWorking...  Plese wait..."));
  QCOMPARE(statusColour, QColor(255, 0, 0));
  auto* l12 = Child<QLabel>(h.window, "Label12");
  for (const char* name : {"Text1", "Command4", "Command5", "Command6", "Command7"})
    QVERIFY2(Child(h.window, name)->isEnabled(), name);
  QCOMPARE(Child<QPushButton>(h.window, "Command7")->text(), QString("Close"));
  QVERIFY(!h.pointer.busy);
  QVERIFY(l12->text().isEmpty());
  QCOMPARE(l12->palette().color(QPalette::WindowText), QColor(Qt::black));
  QVERIFY(!Child(h.window, "Frame4")->isVisibleTo(&h.window));
  QCOMPARE(Child<QLabel>(h.window, "Label22")->text(), QString("100%"));
  QCOMPARE(Child(h.window, "Label17", 1)->width(), qRound(2052 / 15.0));
}

void DispatchTest::unlockAndOpenOpensOnlyAfterSuccess() {
  Harness h;
  Folder f;
  // A type no desktop knows: OpenIt, once it runs, says so.
  const auto setup = f.Make("setup.sdunknown", 2000);
  TypePassword(h, "pw");
  h.dialog.answers = {setup, setup};
  h.form.Command6_Click();  // not locked: refused, nothing opened
  QVERIFY(h.starter.started.empty());
  QCOMPARE(Texts(h.messages), QStringList({"'" + QString::fromStdString(setup) + "' is not a locked file !"}));
  QVERIFY(!h.dialog.asked.back().MultiSelect());
  QCOMPARE(h.dialog.asked.back().flags, 3690508);
  QCOMPARE(h.dialog.asked.back().title, std::string("Sealdoor - Open File"));

  h.dialog.answers = {setup, setup};
  h.form.Command4_Click();
  h.messages.shown.clear();
  h.form.Command6_Click();
  QVERIFY(!IsLocked(setup));
  QVERIFY(h.starter.started.empty());
  // OpenIt's word, and no closing message for this action.
  QCOMPARE(Texts(h.messages), QStringList({"'" + QString::fromStdString(setup) +
                                           "' is not a registered type.\r\n\r\nThe file was unlocked, but could not be open !"}));
  QVERIFY(h.window.isEnabled());
  QVERIFY(!h.pointer.busy);
}

void DispatchTest::realDialogOffersWhatEachActionNeeds() {
  Folder f;
  const auto noDot = f.Make("README", 10);
  f.Make("notes.txt", 10);
  f.Make("b file.txt", 10);
  Folder other;
  const auto elsewhere = other.Make("p.txt", 10);
  f.Make("p.txt", 10);  // the same name in the first folder: not the one chosen
  struct Round {
    bool several;
    QString typed;
    std::string expected;
  };
  // The same dialog opened again and again in one run, with names typed as a
  // person types them, a name from another folder among them.
  const std::vector<Round> rounds = {
      {true, "\"README\" \"notes.txt\" \"b file.txt\"", Several(f.Path(), {"README", "notes.txt", "b file.txt"})},
      {true, "\"README\" \"notes.txt\" \"b file.txt\"", Several(f.Path(), {"README", "notes.txt", "b file.txt"})},
      {true, "\"" + QString::fromStdString(elsewhere) + "\" \"notes.txt\"",
       Several(other.Path(), {"p.txt", f.Path() + "/notes.txt"})},
      {false, "README", noDot},
  };
  sealdoor::ui::QtFileDialog dialog;
  dialog.SetQtDialogOnly(true);
  for (const auto& round : rounds) {
    sealdoor::ui::FileDialogOptions options;
    options.initialDir = f.Path();
    options.title = "Sealdoor - Lock File(s)";
    options.filter = "All Files (*.*)|*.*|Text (*.txt)|*.txt";
    options.flags = round.several ? 3691020 : 3690508;
    QStringList visible;
    dialog.onShown = [&](QFileDialog& d) {
      // Whatever fails below, the dialog must close, or exec() never returns.
      struct Closer {
        QFileDialog& d;
        ~Closer() {
          if (d.isVisible()) d.reject();
        }
      } closer{d};
      QCOMPARE(d.fileMode(), round.several ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
      QVERIFY(d.testOption(QFileDialog::DontResolveSymlinks));
      QCOMPARE(d.windowTitle(), QString("Sealdoor - Lock File(s)"));
      auto* view = d.findChild<QListView*>("listView");
      QTRY_VERIFY_WITH_TIMEOUT(view && view->model()->rowCount(view->rootIndex()) == 4, 30000);
      for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
        visible << view->model()->index(r, 0, view->rootIndex()).data().toString();
      // Choose as a person does: type the names into the file name box, key
      // by key, and press "Open".
      auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
      auto* buttons = d.findChild<QDialogButtonBox*>("buttonBox");
      QVERIFY(edit && buttons);
      d.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&d));
      edit->setFocus();
      QTRY_VERIFY_WITH_TIMEOUT(edit->hasFocus(), 30000);
      QTest::keyClicks(edit, round.typed);
      QCOMPARE(edit->text(), round.typed);
      // The dialog follows the typing with its list's selection: "Open" is
      // pressed once it has, as a person sees it.
      QStringList typedNames;
      for (const QString& name : round.typed.contains('"') ? round.typed.split('"', Qt::SkipEmptyParts)
                                                            : QStringList{round.typed})
        if (!name.trimmed().isEmpty()) typedNames << QFileInfo(name).fileName();
      typedNames.sort();
      auto selectedNames = [&] {
        QStringList names;
        for (const QModelIndex& i : view->selectionModel()->selectedRows()) names << i.data().toString();
        names.sort();
        return names;
      };
      QTRY_COMPARE_WITH_TIMEOUT(selectedNames(), typedNames, 30000);
      QPushButton* open = buttons->button(QDialogButtonBox::Open);
      QVERIFY(open && open->isEnabled());
      QTest::mouseClick(open, Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(!d.isVisible(), 30000);
    };
    const auto chosen = dialog.Show(options);
    visible.sort();
    QCOMPARE(visible, QStringList({"README", "b file.txt", "notes.txt", "p.txt"}));  // "*.*": names without a dot too
    QVERIFY(chosen.has_value());
    QCOMPARE(*chosen, round.expected);
  }
  QCOMPARE(sealdoor::ui::NameFilters("All Files (*.*)|*.*|Pictures (*.jpg;*.gif)|*.jpg;*.gif"),
           QStringList({"All Files (*.*) (*)", "Pictures (*.jpg;*.gif) (*.jpg *.gif)"}));
}

// Qt's dialog would keep its history and last folder in the user's
// QtProject.conf; Sealdoor keeps no settings.
void DispatchTest::theDialogKeepsNoSettings() {
  const QString conf = QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName();
  auto contents = [&]() -> std::optional<QByteArray> {
    QFile file(conf);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
  };
  const auto before = contents();
  Folder f;
  f.Make("a.txt", 10);
  sealdoor::ui::QtFileDialog dialog;
  dialog.SetQtDialogOnly(true);
  for (const int flags : {3691020, 3690508}) {
    sealdoor::ui::FileDialogOptions options;
    options.initialDir = f.Path();
    options.title = "Sealdoor - Open File";
    options.filter = "All Files (*.*)|*.*";
    options.flags = flags;
    dialog.onShown = [](QFileDialog& d) { d.reject(); };
    QVERIFY(!dialog.Show(options).has_value());
  }
  QCOMPARE(contents(), before);
  // The user's own settings are where they were for anything else.
  QCOMPARE(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName(), conf);
}

QTEST_MAIN(DispatchTest)
#include "dispatch_test.moc"
