// The Qt window on a real X server, as a user meets it: its own message
// boxes, clicks on its buttons, the keyboard's Caps Lock. A batch of 500
// files stopped with "Stop", the typo guard, the Caps Lock warning.

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "fakes.h"
#include "ui/qt/qt_message_boxes.h"
// After Qt's headers: Xlib's macros clash with them.
#include <X11/XKBlib.h>

namespace fs = std::filesystem;
using sealdoor::test::Child;
using sealdoor::test::IsLocked;

namespace {

// The window with its real message boxes; the dialog and the starter stand in.
struct RealHarness {
  sealdoor::test::FakePointer pointer;
  sealdoor::test::FakeDialog dialog;
  sealdoor::test::FakeStarter starter;
  sealdoor::ui::QtMessageBoxes messages;
  sealdoor::ui::QtForm4 window;
  sealdoor::ui::Form4 form{window, {messages, pointer, dialog, starter}};
  RealHarness() {
    window.Attach(form);
    messages.SetParent(&window);
    form.Form_Load();
    form.SetOpenPause(std::chrono::seconds(0));
    window.show();
    window.activateWindow();
  }
};

// Answers the message boxes as they come up, and notes what they said and
// when.
class BoxWatcher {
 public:
  // `press` picks the button for a box's text.
  explicit BoxWatcher(std::function<QMessageBox::StandardButton(const QString&)> press) : press_(std::move(press)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      texts << box->text();
      shownAt.push_back(clock.elapsed());
      QTest::mouseClick(box->button(press_(box->text())), Qt::LeftButton);
    });
    clock.start();
    timer_.start();
  }
  QStringList texts;
  std::vector<qint64> shownAt;
  QElapsedTimer clock;

 private:
  std::function<QMessageBox::StandardButton(const QString&)> press_;
  QTimer timer_;
};

void Write(const fs::path& p, std::size_t bytes, char fill) { std::ofstream(p, std::ios::binary) << std::string(bytes, fill); }

Display* X() { return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display(); }

void SetCapsLock(bool on) {
  XkbLockModifiers(X(), XkbUseCoreKbd, LockMask, on ? LockMask : 0);
  XSync(X(), False);
}

}  // namespace

class X11WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void stopEndsABatchOf500FilesAtOnce();
  void theTypoGuardAsksForANearPasswordOnly();
  void capsLockIsSaidWhileThePasswordBoxHasTheFocus();
};

void X11WindowTest::initTestCase() {
  QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
  SetCapsLock(false);
}

void X11WindowTest::stopEndsABatchOf500FilesAtOnce() {
  QTemporaryDir dir;
  const fs::path folder = dir.path().toStdString();
  std::string selection = folder.string();
  for (int i = 0; i < 500; ++i) {
    Write(folder / ("f" + std::to_string(i)), 64 * 1024, char('a' + i % 26));
    selection += '\0' + ("f" + std::to_string(i));
  }
  RealHarness h;
  QVERIFY(QTest::qWaitForWindowActive(&h.window, 30000));
  QTest::keyClicks(Child(h.window, "Text1"), "Stop500");
  auto* command7 = Child<QPushButton>(h.window, "Command7");
  auto* label16 = Child<QLabel>(h.window, "Label16");
  BoxWatcher boxes([](const QString&) { return QMessageBox::Ok; });
  // "Stop" pressed once the batch is well under way.
  int atFile = -1;
  qint64 pressedAt = -1;
  QTimer watch;
  watch.setInterval(1);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    const int shown = label16->text().mid(1).toInt();
    if (command7->text() != "Stop" || shown < 100) return;
    watch.stop();
    atFile = shown;
    pressedAt = boxes.clock.elapsed();
    QTest::mouseClick(command7, Qt::LeftButton);
  });
  watch.start();
  h.dialog.answers = {selection};
  QTest::mouseClick(Child(h.window, "Command4"), Qt::LeftButton);
  QVERIFY(atFile >= 100 && atFile < 499);
  QCOMPARE(boxes.texts.size(), 1);
  int locked = 0;
  for (int i = 0; i < 500; ++i) locked += IsLocked((folder / ("f" + std::to_string(i))).string());
  // Nothing began after the press, and what waited for its commit stayed
  // as it was: the files locked are those of the groups committed before.
  QVERIFY2(locked <= atFile + 1, qPrintable(QString::number(locked)));
  QCOMPARE(boxes.texts[0], QString("Stopped: %1 of 500 files locked. The other files were not changed.").arg(locked));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++entries;
  QCOMPARE(entries, 500);  // no working file left
  qInfo("from the press of Stop to its message: %lld ms", static_cast<long long>(boxes.shownAt[0] - pressedAt));
  QCOMPARE(command7->text(), QString("Close"));
}

void X11WindowTest::theTypoGuardAsksForANearPasswordOnly() {
  QTemporaryDir dir;
  const fs::path folder = dir.path().toStdString();
  Write(folder / "old.txt", 5000, 'o');
  Write(folder / "new.txt", 5000, 'n');
  RealHarness h;
  QVERIFY(QTest::qWaitForWindowActive(&h.window, 30000));
  auto* text1 = Child<QLineEdit>(h.window, "Text1");
  // "Lock Files" pressed on `file`; what the message boxes said, each
  // answered with `answer`.
  auto lock = [&](const char* file, QMessageBox::StandardButton answer) {
    h.dialog.answers = {(folder / file).string()};
    BoxWatcher boxes([answer](const QString&) { return answer; });
    QTest::mouseClick(Child(h.window, "Command4"), Qt::LeftButton);
    return boxes.texts;
  };
  QTest::keyClicks(text1, "Abc123");
  QCOMPARE(lock("old.txt", QMessageBox::Ok), QStringList{"File locked !"});
  QVERIFY(IsLocked((folder / "old.txt").string()));

  // One character off: asked once; No goes back to the box, its text selected.
  text1->selectAll();
  QTest::keyClicks(text1, "Abc124");
  QCOMPARE(lock("new.txt", QMessageBox::No), QStringList{"The password differs by one character from the password of "
                                                         "other locked files in this folder. Lock with this password "
                                                         "anyway?"});
  QVERIFY(!IsLocked((folder / "new.txt").string()));
  // The box is the window's focus (the keyboard's once the window is
  // active again, which is the window manager's to say).
  QCOMPARE(h.window.focusWidget(), text1);
  QCOMPARE(text1->selectionLength(), 6);

  // Another password altogether: nothing to ask. Typing replaces the selection.
  QTest::keyClicks(text1, "Zebra9");
  QCOMPARE(lock("new.txt", QMessageBox::Ok), QStringList{"File locked !"});
  QVERIFY(IsLocked((folder / "new.txt").string()));
}

void X11WindowTest::capsLockIsSaidWhileThePasswordBoxHasTheFocus() {
  RealHarness h;
  QVERIFY(QTest::qWaitForWindowActive(&h.window, 30000));
  auto* text1 = Child<QLineEdit>(h.window, "Text1");
  auto* warning = h.window.findChild<QLabel*>("CapsLockWarning");
  QVERIFY(warning);
  text1->setFocus();
  QTRY_VERIFY_WITH_TIMEOUT(text1->hasFocus(), 30000);
  QCoreApplication::processEvents();  // the box looks at the lock once it has the focus
  QVERIFY(!warning->isVisible());
  // The key turns the lock; the box hears its key.
  SetCapsLock(true);
  QTest::keyClick(text1, Qt::Key_CapsLock);
  QTRY_VERIFY_WITH_TIMEOUT(warning->isVisible(), 30000);
  QCOMPARE(warning->text(), QString("Caps Lock is on"));
  // Under the box.
  QVERIFY(warning->geometry().top() >= text1->mapToGlobal(QPoint(0, text1->height())).y());
  Child(h.window, "Command4")->setFocus();
  QTRY_VERIFY_WITH_TIMEOUT(!warning->isVisible(), 30000);
  text1->setFocus();
  QTRY_VERIFY_WITH_TIMEOUT(warning->isVisible(), 30000);
  SetCapsLock(false);
  QTest::keyClick(text1, Qt::Key_CapsLock);
  QTRY_VERIFY_WITH_TIMEOUT(!warning->isVisible(), 30000);
}

QTEST_MAIN(X11WindowTest)
#include "x11_window_test.moc"
