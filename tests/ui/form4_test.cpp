#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QPushButton>
#include <QTextDocument>
#include <QtTest>

#include "fakes.h"
#include "ui/form4_layout.h"
#include "ui/contrast.h"
#include "text/action_texts.h"
#include "text/tr.h"
#include "text/window_texts.h"
#include "ui/qt/qt_message_boxes.h"

using sealdoor::text::MessageStyle;
using sealdoor::test::Child;
using sealdoor::test::Harness;
using sealdoor::test::Texts;

namespace {

int Px(int twips) { return qRound(twips / 15.0); }

// What a tooltip shows of its text: Qt takes a text that looks like markup
// for markup.
QString ShownAsToolTip(const QString& tip) {
  if (!Qt::mightBeRichText(tip)) return tip;
  QTextDocument doc;
  doc.setHtml(tip);
  return doc.toPlainText();
}

}  // namespace

class Form4Test : public QObject {
  Q_OBJECT

 private slots:
  void controlsSitWhereTheLayoutPutsThem_data();
  void controlsSitWhereTheLayoutPutsThem();
  void initialStates();
  void hoverFeedback();
  void hoverOverControlsIsNotBackground();
  void passwordInput_data();
  void passwordInput();
  void deletingTheLastCharacterShowsTheHint();
  void everyTextReadsUnderALightAndADarkPalette();
  void screenReadersGetNamesValuesAndTheStatus();
  void longNamesAreCutInTheMiddle();
  void filesDroppedOntoAnActionButtonRunItsBatch();
  void dropsAreTakenAsACopyNeverAMove_data();
  void dropsAreTakenAsACopyNeverAMove();
  void namesAreNeverMarkup_data();
  void namesAreNeverMarkup();
  void aSummaryShowsEveryLineAndScrolls();
  void everyStatusTextFitsItsLine();
  void stopEscapeAndTheTitleBarsCloseStopABatch_data();
  void stopEscapeAndTheTitleBarsCloseStopABatch();
  void closeEndsTheProgram();
  void theTitleBarsCloseEndsItToo();
};

void Form4Test::controlsSitWhereTheLayoutPutsThem_data() {
  QTest::addColumn<int>("control");  // its place in the design's table
  for (std::size_t i = 0; i < sealdoor::ui::layout::kControls.size(); ++i) {
    const auto& c = sealdoor::ui::layout::kControls[i];
    const QString name = QString::fromUtf8(c.name.data(), static_cast<qsizetype>(c.name.size()));
    QTest::newRow(qPrintable(c.index >= 0 ? QString("%1(%2)").arg(name).arg(c.index) : name)) << static_cast<int>(i);
  }
}

void Form4Test::controlsSitWhereTheLayoutPutsThem() {
  QFETCH(int, control);
  const auto& c = sealdoor::ui::layout::kControls[static_cast<std::size_t>(control)];
  Harness h;
  QWidget* w = Child(h.window, std::string(c.name).c_str(), c.index);
  QVERIFY(w);
  QCOMPARE(w->parentWidget()->objectName(), c.parent.empty() ? QString("Form4") : QString::fromUtf8(c.parent.data(), static_cast<qsizetype>(c.parent.size())));
  QCOMPARE(w->geometry(), QRect(Px(c.place.left), Px(c.place.top), Px(c.place.width), Px(c.place.height)));
  QCOMPARE(!w->isHidden(), c.visible);  // in its container
  const QString caption = QString::fromUtf8(c.caption);
  if (auto* l = qobject_cast<QLabel*>(w)) QCOMPARE(l->text(), caption);
  if (auto* b = qobject_cast<QPushButton*>(w)) QCOMPARE(b->text(), caption);
  if (*c.accessibleName) QCOMPARE(w->accessibleName(), QString::fromUtf8(c.accessibleName));
}

void Form4Test::initialStates() {
  Harness h;
  h.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&h.window));
  QCOMPARE(h.window.windowTitle(), QString("Sealdoor"));
  QCOMPARE(h.window.size(), QSize(Px(5664), Px(3012)));
  QCOMPARE(h.window.minimumSize(), h.window.maximumSize());  // fixed size
  QVERIFY(!h.pointer.busy);
  QVERIFY(!Child(h.window, "Frame4")->isVisible());
  QVERIFY(!Child(h.window, "Label13")->isVisible());
  QVERIFY(Child(h.window, "Image1", 0)->isVisible());
  QVERIFY(!Child(h.window, "Image1", 1)->isVisible());
  auto* text1 = Child<QLineEdit>(h.window, "Text1");
  QCOMPARE(text1->echoMode(), QLineEdit::Password);
  QCOMPARE(text1->maxLength(), 24);
  // Focus order: Text1, then the four buttons; labels take none.
  QWidget* w = text1;
  for (const char* next : {"Command4", "Command5", "Command6", "Command7"}) {
    w = w->nextInFocusChain();
    while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
    QCOMPARE(w->objectName(), QString(next));
  }
  for (auto* b : h.window.findChildren<QPushButton*>()) QVERIFY(!b->isDefault());
  QVERIFY(!h.window.windowIcon().isNull());
}

void Form4Test::hoverFeedback() {
  Harness h;
  h.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&h.window));
  auto* hint = Child(h.window, "Label13");
  auto* closed = Child(h.window, "Image1", 0);
  auto* open = Child(h.window, "Image1", 1);
  auto* frame3 = Child(h.window, "Frame3");
  auto* status = Child<QLabel>(h.window, "Label12");
  const QPoint background(Px(100), Px(2800));  // bare panel, below the box

  QTest::mouseMove(Child(h.window, "Command5"));
  QVERIFY(hint->isVisible());  // empty box: the hint shows on hover
  QVERIFY(open->isVisible() && !closed->isVisible());
  QTest::mouseMove(frame3, background);
  QVERIFY(open->isVisible());  // empty status line: nothing changes
  QTest::mouseMove(Child(h.window, "Command4"));
  QVERIFY(closed->isVisible() && !open->isVisible());
  QTest::keyClicks(Child(h.window, "Text1"), "a");
  QVERIFY(!hint->isVisible());
  QTest::mouseMove(Child(h.window, "Command6"));
  QVERIFY(!hint->isVisible());
  QVERIFY(open->isVisible());

  h.window.SetStatus("File locked !", sealdoor::ui::kBlack);  // left by a batch
  QTest::mouseMove(frame3, background + QPoint(1, 0));
  QVERIFY(status->text().isEmpty());
  QVERIFY(closed->isVisible() && !open->isVisible());
}

void Form4Test::hoverOverControlsIsNotBackground() {
  Harness h;
  h.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&h.window));
  auto* status = Child<QLabel>(h.window, "Label12");
  QTest::mouseMove(Child(h.window, "Command5"));
  for (const char* name : {"Label8", "Image1", "Text1", "Label2", "Label10"}) {
    status->setText("Files locked !");
    QWidget* w = Child(h.window, name, name == QString("Image1") ? 1 : -1);
    QTest::mouseMove(w->isVisible() ? w : Child(h.window, "Image1", 0), QPoint(2, 2));
    QCOMPARE(status->text(), QString("Files locked !"));
  }
}

void Form4Test::passwordInput_data() {
  QTest::addColumn<QString>("typed");  // typed key by key
  QTest::addColumn<QString>("pasted");  // then pasted at once
  QTest::addColumn<QString>("left");
  QTest::addColumn<int>("messages");
  QTest::newRow("letters and a digit") << "abc1" << "" << "abc1" << 0;
  QTest::newRow("digits only") << "0123456789" << "" << "0123456789" << 0;
  QTest::newRow("letter then !") << "a!" << "" << "" << 1;
  QTest::newRow("pasted with a space") << "" << "abc def" << "" << 1;
  QTest::newRow("pasted with many refused") << "" << "a b!c_d" << "" << 1;
  QTest::newRow("accented letter") << "" << QString::fromUtf8("caf\u00e9") << "" << 1;
  QTest::newRow("underscore") << "x_" << "" << "" << 1;
  QTest::newRow("backquote") << "x`" << "" << "" << 1;
  QTest::newRow("bracket between the alphabets") << "[" << "" << "" << 1;
  QTest::newRow("25 characters stop at 24") << QString(25, 'k') << "" << QString(24, 'k') << 0;
}

void Form4Test::passwordInput() {
  QFETCH(QString, typed);
  QFETCH(QString, pasted);
  QFETCH(QString, left);
  QFETCH(int, messages);
  Harness h;
  auto* text1 = Child<QLineEdit>(h.window, "Text1");
  bool hintWhileMessage = false;
  h.messages.onShow = [&](const std::string&) {
    hintWhileMessage = Child(h.window, "Label13")->isVisibleTo(&h.window) && text1->text().isEmpty();
  };
  h.window.show();
  QTest::keyClicks(text1, typed);
  if (!pasted.isEmpty()) text1->insert(pasted);
  QCOMPARE(text1->text(), left);
  QCOMPARE(int(h.messages.shown.size()), messages);
  if (messages) {
    QCOMPARE(QString::fromStdString(h.messages.shown[0].first), QString("Invalid characters in password !\n\rEnter letters or digits only."));
    QCOMPARE(h.messages.shown[0].second, MessageStyle::None);
    QVERIFY(hintWhileMessage);  // emptied, hint shown, then the message
  }
  QCOMPARE(Child(h.window, "Label13")->isVisibleTo(&h.window), left.isEmpty());
}

void Form4Test::deletingTheLastCharacterShowsTheHint() {
  Harness h;
  h.window.show();
  auto* text1 = Child<QLineEdit>(h.window, "Text1");
  QTest::keyClicks(text1, "ab");
  QTest::keyClick(text1, Qt::Key_Backspace);
  QVERIFY(!Child(h.window, "Label13")->isVisible());
  QTest::keyClick(text1, Qt::Key_Backspace);
  QVERIFY(Child(h.window, "Label13")->isVisible());
  QVERIFY(h.messages.shown.empty());
}

namespace {

double Contrast(const QColor& a, const QColor& b) {
  return sealdoor::ui::ContrastRatio({a.red(), a.green(), a.blue()}, {b.red(), b.green(), b.blue()});
}

// What lies under a widget's text: its own background, else its parent's.
QColor Under(const QWidget* w) {
  for (; w; w = w->parentWidget())
    if (w->autoFillBackground()) return w->palette().color(QPalette::Window);
  return QApplication::palette().color(QPalette::Window);
}

QPalette DarkPalette() {
  // As qt6ct's "darker" scheme sets it.
  QPalette p;
  p.setColor(QPalette::Window, QColor(0x3f, 0x3f, 0x36));
  p.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
  p.setColor(QPalette::Base, QColor(0x2d, 0x2d, 0x2d));
  p.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
  p.setColor(QPalette::Button, QColor(0x48, 0x48, 0x48));
  p.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
  p.setColor(QPalette::ToolTipBase, QColor(0x3f, 0x3f, 0x36));
  p.setColor(QPalette::ToolTipText, QColor(0xe6, 0xe6, 0xe6));
  return p;
}

}  // namespace

void Form4Test::everyTextReadsUnderALightAndADarkPalette() {
  const QPalette saved = QApplication::palette();
  for (const bool dark : {false, true}) {
    QApplication::setPalette(dark ? DarkPalette() : saved);
    Harness h;
    h.window.SetStatus("\n\rWorking...  Plese wait...", sealdoor::ui::kRed);
    for (QLabel* label : h.window.findChildren<QLabel*>()) {
      if (label->text().isEmpty() && label->objectName() != "Label12") continue;
      const QColor text = label->palette().color(QPalette::WindowText);
      // The red texts are bold; red reaches 3.9:1 even on the classic tint.
      const bool red = text == QColor(255, 0, 0);
      const double ratio = Contrast(text, Under(label));
      QVERIFY2(ratio >= (red ? 3.0 : 4.5),
               qPrintable(QString("%1 %2: %3:1").arg(dark ? "dark" : "light", label->objectName()).arg(ratio)));
    }
  }
  QApplication::setPalette(saved);
}

void Form4Test::screenReadersGetNamesValuesAndTheStatus() {
  Harness h;
  h.window.show();
  auto name = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
  auto* text1 = Child(h.window, "Text1");
  QCOMPARE(name(text1), QString("Password"));
  QCOMPARE(Child<QLabel>(h.window, "Label2")->buddy(), text1);
  QCOMPARE(name(Child(h.window, "Image1", 0)), QString("Locked"));
  QCOMPARE(name(Child(h.window, "Image1", 1)), QString("Unlocked"));
  for (const char* button : {"Command4", "Command5", "Command6", "Command7"})
    QVERIFY(!name(Child(h.window, button)).isEmpty());

  // The bars are progress bars to a screen reader, with their value.
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(Child(h.window, "Label15", 0));
  QCOMPARE(bar->role(), QAccessible::ProgressBar);
  QCOMPARE(bar->text(QAccessible::Name), QString("File progress"));
  h.window.SetBarWidth(sealdoor::Bar::File, 1026);
  QCOMPARE(bar->valueInterface()->currentValue().toInt(), 50);
  QCOMPARE(QAccessible::queryAccessibleInterface(Child(h.window, "Label17", 0))->text(QAccessible::Name),
           QString("Overall progress"));

  // The status line tells its text as its name, as it changes (and the
  // window sends the change to a listening screen reader as an alert).
  auto* status = Child(h.window, "Label12");
  h.window.SetStatus("\n\rWorking...  Plese wait...", sealdoor::ui::kRed);
  QCOMPARE(name(status), QString("Working... Plese wait..."));
  h.window.SetStatus("", sealdoor::ui::kBlack);
  QCOMPARE(name(status), QString());
}

void Form4Test::longNamesAreCutInTheMiddle() {
  Harness h;
  auto* label16 = Child<QLabel>(h.window, "Label16");
  const QString name = "Holiday video 2024 - Lisbon and Porto (full length, director's cut, final).mp4";
  h.window.SetCaption(sealdoor::Caption::Label16, name.toStdString());
  const QString shown = label16->text();
  QVERIFY(shown.contains(QChar(0x2026)));
  QVERIFY(shown.startsWith("Holiday"));
  QVERIFY(shown.endsWith(".mp4"));
  QVERIFY(label16->fontMetrics().horizontalAdvance(shown) <= label16->width());
  QCOMPARE(ShownAsToolTip(label16->toolTip()), name);
  h.window.SetCaption(sealdoor::Caption::Label16, "short.txt");
  QCOMPARE(label16->text(), QString("short.txt"));
  QVERIFY(label16->toolTip().isEmpty());
}

void Form4Test::filesDroppedOntoAnActionButtonRunItsBatch() {
  Harness h;
  h.window.show();
  QTemporaryDir dir;
  QStringList files;
  for (const char* n : {"a.txt", "b.txt"}) {
    files << dir.path() + "/" + n;
    QFile f(files.back());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(3000, 'x'));
  }
  QTest::keyClicks(Child(h.window, "Text1"), "Drop1");
  auto drop = [&](const char* button, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const auto& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    QWidget* target = Child(h.window, button);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    QCoreApplication::processEvents();
    return true;
  };
  QVERIFY(!Child(h.window, "Command7")->acceptDrops());  // "Close" takes none
  QVERIFY(drop("Command4", files));
  QTRY_COMPARE_WITH_TIMEOUT(Texts(h.messages), QStringList({"Files locked !"}), 30000);
  QCOMPARE(QFileInfo(files[0]).size(), 3702);
  QVERIFY(drop("Command6", files));  // more than one onto "Unlock and Open"
  QTRY_COMPARE_WITH_TIMEOUT(Texts(h.messages).size(), 2, 30000);
  QCOMPARE(Texts(h.messages).back(), QString("\"Unlock and Open\" takes one file at a time."));
  QVERIFY(drop("Command5", {files[1]}));
  QTRY_COMPARE_WITH_TIMEOUT(Texts(h.messages).back(), QString("File Unlocked !"), 30000);
  QCOMPARE(QFileInfo(files[1]).size(), 3000);

  // A folder stands for the files below it, byte for byte both ways.
  QVERIFY(QDir(dir.path()).mkpath("tree/sub/deeper"));
  QMap<QString, QByteArray> tree;
  for (const char* n : {"tree/one", "tree/sub/two", "tree/sub/deeper/three"}) {
    const QString path = dir.path() + "/" + n;
    tree[path] = QByteArray::number(qHash(QByteArray(n))).repeated(40 * (1 + static_cast<int>(tree.size())));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(tree[path]);
  }
  const int before = static_cast<int>(h.messages.shown.size());
  QVERIFY(drop("Command4", {dir.path() + "/tree"}));
  QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(h.messages.shown.size()), before + 1, 30000);
  QCOMPARE(Texts(h.messages).back(), QString("Files locked !"));
  for (auto it = tree.cbegin(); it != tree.cend(); ++it) QCOMPARE(QFileInfo(it.key()).size(), it.value().size() + 702);
  QVERIFY(drop("Command5", {dir.path() + "/tree"}));
  QTRY_COMPARE_WITH_TIMEOUT(Texts(h.messages).back(), QString("Files Unlocked !"), 30000);
  for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
    QFile f(it.key());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), it.value());
  }
}

void Form4Test::dropsAreTakenAsACopyNeverAMove_data() {
  QTest::addColumn<int>("offered");
  QTest::addColumn<int>("proposed");
  QTest::addColumn<int>("taken");  // 0: refused
  QTest::newRow("copy or move, move proposed (Shift)")
      << int(Qt::CopyAction | Qt::MoveAction) << int(Qt::MoveAction) << int(Qt::CopyAction);
  QTest::newRow("copy, move or link, link proposed")
      << int(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction) << int(Qt::LinkAction) << int(Qt::CopyAction);
  QTest::newRow("copy only") << int(Qt::CopyAction) << int(Qt::CopyAction) << int(Qt::CopyAction);
  QTest::newRow("link or move") << int(Qt::LinkAction | Qt::MoveAction) << int(Qt::MoveAction) << int(Qt::LinkAction);
  QTest::newRow("move only") << int(Qt::MoveAction) << int(Qt::MoveAction) << 0;
}

void Form4Test::dropsAreTakenAsACopyNeverAMove() {
  // A source told of a move may delete what it moved.
  QFETCH(int, offered);
  QFETCH(int, proposed);
  QFETCH(int, taken);
  Harness h;
  h.window.show();
  QTemporaryDir dir;
  const QString file = dir.path() + "/a.txt";
  {
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(3000, 'x'));
  }
  QTest::keyClicks(Child(h.window, "Text1"), "Drop2");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(file)});
  QWidget* target = Child(h.window, "Command4");
  const auto actions = Qt::DropActions(offered);
  QDragEnterEvent enter(QPoint(5, 5), actions, &data, Qt::LeftButton, Qt::NoModifier);
  enter.setDropAction(Qt::DropAction(proposed));
  QApplication::sendEvent(target, &enter);
  QCOMPARE(enter.isAccepted(), taken != 0);
  if (taken) QCOMPARE(int(enter.dropAction()), taken);
  QDragMoveEvent move(QPoint(6, 6), actions, &data, Qt::LeftButton, Qt::NoModifier);
  move.setDropAction(Qt::DropAction(proposed));
  QApplication::sendEvent(target, &move);
  QCOMPARE(move.isAccepted(), taken != 0);
  if (taken) QCOMPARE(int(move.dropAction()), taken);
  QDropEvent dropped(QPointF(6, 6), actions, &data, Qt::LeftButton, Qt::NoModifier);
  dropped.setDropAction(Qt::DropAction(proposed));
  QApplication::sendEvent(target, &dropped);
  QCOMPARE(dropped.isAccepted(), taken != 0);
  if (taken) QCOMPARE(int(dropped.dropAction()), taken);
  // The batch runs only on a drop taken, once the drop is over (a posted
  // call), and says so when it is done.
  QCoreApplication::processEvents();
  if (taken) QTRY_COMPARE_WITH_TIMEOUT(Texts(h.messages), QStringList{"File locked !"}, 30000);
  QCOMPARE(QFileInfo(file).size(), taken ? 3702 : 3000);
  if (!taken) QVERIFY(h.messages.shown.empty());
}

void Form4Test::namesAreNeverMarkup_data() {
  QTest::addColumn<QString>("name");
  for (const char* name : {"report<p><b>File locked !</b><!--.doc", "<h1>Files locked !</h1>", "a&amp;b &lt;c&gt;.txt",
                           "<!DOCTYPE html><img src='x'>.png", "<qt>big</qt>", "x<br>y<hr>z", "tab\tand  spaces.txt"})
    QTest::newRow(name) << QString(name);
}

void Form4Test::namesAreNeverMarkup() {
  // A file's name in the status line, the progress panel, its tooltip and
  // the message boxes shows as it is, never as a text it might spell.
  QFETCH(QString, name);
  Harness h;
  auto* status = Child<QLabel>(h.window, "Label12");
  h.window.SetStatus(name.toStdString(), sealdoor::ui::kBlack);
  QCOMPARE(status->textFormat(), Qt::PlainText);
  QCOMPARE(status->text(), name);
  auto* label16 = Child<QLabel>(h.window, "Label16");
  h.window.SetCaption(sealdoor::Caption::Label16, name.toStdString());
  QCOMPARE(label16->textFormat(), Qt::PlainText);
  QCOMPARE(label16->text(), label16->fontMetrics().elidedText(name, Qt::ElideMiddle, label16->width() - 4));
  const QString longName = QString(60, QChar('x')) + name;  // cut: the whole name is in the tooltip
  h.window.SetCaption(sealdoor::Caption::Label16, longName.toStdString());
  QCOMPARE(ShownAsToolTip(label16->toolTip()), longName);
  for (QLabel* label : h.window.findChildren<QLabel*>()) QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));

  sealdoor::ui::QtMessageBoxes boxes;
  boxes.SetParent(&h.window);
  for (const bool ask : {false, true}) {
    std::optional<std::pair<Qt::TextFormat, QString>> seen;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      seen = {box->textFormat(), box->text()};
      box->done(0);
    });
    const std::string text = "'" + name.toStdString() + "' could not be locked: it is open for writing in another program";
    if (ask)
      (void)boxes.Ask(text);
    else
      boxes.Show(text, MessageStyle::Critical);
    QVERIFY(seen);
    QCOMPARE(seen->first, Qt::PlainText);
    QCOMPARE(seen->second, QString::fromStdString(text));
  }
}

void Form4Test::aSummaryShowsEveryLineAndScrolls() {
  // Sixty files' reasons: a read-only list that scrolls, every line in it
  // as it came (a name is no markup), the heading beside it, OK to close.
  Harness h;
  sealdoor::ui::QtMessageBoxes boxes;
  boxes.SetParent(&h.window);
  QStringList lines;
  for (int i = 0; i < 60; ++i) lines << QStringLiteral("'/home/u/<b>%1</b>.txt': Invalid password !").arg(i);
  // What the box holds, read while it is up; checked once it is closed.
  struct Seen {
    bool readOnly = false, scrolls = false, heading = false, closedByEnter = false;
    QString list, title;
  };
  std::optional<Seen> seen;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    Seen s;
    if (auto* list = box->findChild<QPlainTextEdit*>(QStringLiteral("SummaryList"))) {
      s.readOnly = list->isReadOnly();
      s.scrolls = list->verticalScrollBar()->maximum() > 0;
      s.list = list->toPlainText();
    }
    for (QLabel* label : box->findChildren<QLabel*>()) s.heading |= label->text() == QStringLiteral("0 of 60 files unlocked.");
    s.title = box->windowTitle();
    // OK has the focus: Enter closes the box.
    if (auto* ok = qobject_cast<QPushButton*>(box->focusWidget())) QTest::keyClick(ok, Qt::Key_Return);
    s.closedByEnter = !box->isVisible();
    if (!s.closedByEnter) box->close();
    seen = s;
  });
  boxes.ShowSummary("0 of 60 files unlocked.", lines.join(QStringLiteral("\r\n")).toStdString(),
                    MessageStyle::Exclamation);
  QVERIFY(seen);
  QVERIFY(seen->readOnly);
  QVERIFY(seen->scrolls);
  QVERIFY(seen->heading);
  QVERIFY(seen->closedByEnter);
  QCOMPARE(seen->list, lines.join(QChar('\n')));
  QCOMPARE(seen->title, QStringLiteral("Sealdoor"));
}

void Form4Test::everyStatusTextFitsItsLine() {
  // The longest texts the status line shows, measured with the window's own
  // font: each fits in the room it is given, wrapped; a text no room holds
  // (a very long name) is cut at a word, and the tooltip has it whole.
  // Run at 1x and, as a test of its own, at 2x.
  using sealdoor::Action;
  namespace t = sealdoor::text;
  const std::string name = "Quarterly report for the board.txt";
  const std::vector<std::string> texts = {
      t::Waiting(Action::Unlock, 5, 1, false),
      t::Waiting(std::nullopt, 1, 0, false),
      t::Waiting(std::nullopt, 12, 3, false) + "\n" + t::AlsoWaiting({Action::Lock, Action::Unlock}),
      t::ActionAsked(Action::UnlockAndOpen, false),
      t::OpenUnlocked(name, false) + "\n" + t::AlsoWaiting({Action::Unlock}),
      t::LockedAgain(name),
      t::ToDo(Action::Unlock, 123456) + t::Tr(t::kWorking),
      t::OpenUnlocked(std::string(300, 'x') + ".txt", true),
  };
  Harness h;
  auto* status = Child<QLabel>(h.window, "Label12");
  for (const std::string& text : texts) {
    h.window.SetStatus(text, sealdoor::ui::kBlack);
    const QString full = status->property("fullText").toString();
    const QString shown = status->text();
    const QRect needed = status->fontMetrics().boundingRect(QRect(0, 0, status->width(), 1 << 20),
                                                            Qt::TextWordWrap | Qt::AlignHCenter, shown);
    QVERIFY2(needed.height() <= status->height() && needed.width() <= status->width(), qPrintable(full));
    QVERIFY2(status->geometry().right() <= status->parentWidget()->width(), qPrintable(full));
    if (shown != full) {
      QVERIFY2(shown.endsWith(QStringLiteral("...")), qPrintable(shown));
      QCOMPARE(ShownAsToolTip(status->toolTip()), full);
    }
  }
}

void Form4Test::stopEscapeAndTheTitleBarsCloseStopABatch_data() {
  QTest::addColumn<QString>("way");
  for (const char* way : {"Stop", "Escape", "title bar"}) QTest::newRow(way) << QString(way);
}

void Form4Test::stopEscapeAndTheTitleBarsCloseStopABatch() {
  QFETCH(QString, way);
  Harness h;
  h.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&h.window));
  QTemporaryDir dir;
  std::string selection = dir.path().toStdString();
  for (int i = 0; i < 200; ++i) {
    const QString name = QString("f%1").arg(i);
    QFile f(dir.path() + "/" + name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(20000, char('a' + i % 26)));
    selection += '\0' + name.toStdString();
  }
  QTest::keyClicks(Child(h.window, "Text1"), "Stop1");
  auto* command7 = Child<QPushButton>(h.window, "Command7");
  // As soon as the batch holds the window: "Stop" is there to press.
  bool stopShown = false;
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (command7->text() != "Stop") return;
    watch.stop();
    stopShown = command7->isEnabled() && !Child(h.window, "Command4")->isEnabled();
    if (way == "Stop") QTest::mouseClick(command7, Qt::LeftButton);
    if (way == "Escape") QTest::keyClick(command7, Qt::Key_Escape);
    if (way == "title bar") h.window.close();
  });
  watch.start();
  h.dialog.answers = {selection};
  h.form.Command4_Click();
  QVERIFY(stopShown);
  QVERIFY(h.window.isVisible());  // the window stays, with what the batch has to say
  QCOMPARE(h.messages.shown.size(), std::size_t{1});
  int locked = 0;
  for (int i = 0; i < 200; ++i) locked += QFileInfo(dir.path() + QString("/f%1").arg(i)).size() == 20702;
  QVERIFY(locked < 200);
  QCOMPARE(Texts(h.messages).front(),
           QString("Stopped: %1 of 200 files locked. The other files were not changed.").arg(locked));
  QCOMPARE(command7->text(), QString("Close"));
  QVERIFY(command7->isEnabled() && Child(h.window, "Command4")->isEnabled());
  // Ready again: the title bar's close closes it.
  QTimer::singleShot(0, [&] { h.window.close(); });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
  QCOMPARE(QCoreApplication::exec(), 0);
}

void Form4Test::closeEndsTheProgram() {
  Harness h;
  h.window.show();
  QTest::keyClicks(Child(h.window, "Text1"), "secret1");
  int code = -1;
  QTimer::singleShot(0, [&] { QTest::mouseClick(Child(h.window, "Command7"), Qt::LeftButton); });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });  // a hang fails the test
  code = QCoreApplication::exec();
  QCOMPARE(code, 0);
  QVERIFY(h.messages.shown.empty());  // no question asked
}

void Form4Test::theTitleBarsCloseEndsItToo() {
  Harness h;
  h.window.show();
  QTimer::singleShot(0, [&] { h.window.close(); });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
  QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(Form4Test)
#include "form4_test.moc"
