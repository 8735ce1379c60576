#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/single_instance.h"

class SingleInstanceTest : public QObject {
  Q_OBJECT
 private slots:
  void aSecondCopyEndsAtOnceAndLeavesTheFirst();
  void theLockGoesWithAKilledProcess();
  void anotherUsersLockCannotKeepItFromStarting();
};

namespace {

QProcessEnvironment Env(const QTemporaryDir& runtime) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_RUNTIME_DIR", runtime.path());
  env.insert("QT_QPA_PLATFORM", "offscreen");
  return env;
}

}  // namespace

void SingleInstanceTest::aSecondCopyEndsAtOnceAndLeavesTheFirst() {
  QTemporaryDir runtime;
  QProcess first, second;
  first.setProcessEnvironment(Env(runtime));
  second.setProcessEnvironment(Env(runtime));
  first.start(SEALDOOR_APP, {});
  QVERIFY(first.waitForStarted());
  // Wait until the first copy holds the lock.
  sealdoor::app::SingleInstance* probe = nullptr;
  for (int i = 0; i < 500; ++i) {
    delete probe;
    probe = new sealdoor::app::SingleInstance((runtime.path() + "/sealdoor.lock").toStdString());
    if (!probe->First()) break;
    delete probe;
    probe = nullptr;
    QTest::qWait(10);
  }
  QVERIFY2(probe && !probe->First(), "the first copy never took the lock");
  delete probe;

  second.start(SEALDOOR_APP, {});
  QVERIFY(second.waitForFinished(10000));
  QCOMPARE(second.exitStatus(), QProcess::NormalExit);
  QCOMPARE(second.exitCode(), 0);
  QCOMPARE(second.readAllStandardOutput(), QByteArray());
  QCOMPARE(first.state(), QProcess::Running);  // untouched
  first.kill();
  first.waitForFinished();
}

void SingleInstanceTest::theLockGoesWithAKilledProcess() {
  QTemporaryDir runtime;
  const std::string lock = (runtime.path() + "/sealdoor.lock").toStdString();
  QProcess first;
  first.setProcessEnvironment(Env(runtime));
  first.start(SEALDOOR_APP, {});
  QVERIFY(first.waitForStarted());
  bool held = false;
  for (int i = 0; i < 500 && !held; ++i) {
    held = !sealdoor::app::SingleInstance(lock).First();
    if (!held) QTest::qWait(10);
  }
  QVERIFY(held);
  first.kill();  // as a crash would end it
  first.waitForFinished();
  QVERIFY(sealdoor::app::SingleInstance(lock).First());
}

void SingleInstanceTest::anotherUsersLockCannotKeepItFromStarting() {
  // A runtime folder others may write in, and in it a lock that someone
  // else made for everyone and holds, as another user could in /tmp.
  QTemporaryDir shared, home;
  ::chmod(shared.path().toLocal8Bit().constData(), 0777);
  const QByteArray foreign = (shared.path() + "/sealdoor.lock").toLocal8Bit();
  const int theirs = ::open(foreign.constData(), O_RDWR | O_CREAT, 0666);
  QVERIFY(theirs >= 0);
  ::fchmod(theirs, 0666);
  if (::geteuid() == 0) QCOMPARE(::fchown(theirs, 65534, 65534), 0);
  QCOMPARE(::flock(theirs, LOCK_EX), 0);
  const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR"), savedHome = qgetenv("HOME"),
                   savedCache = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_RUNTIME_DIR", shared.path().toLocal8Bit());
  qputenv("HOME", home.path().toLocal8Bit());
  qunsetenv("XDG_CACHE_HOME");
  {
    const sealdoor::app::SingleInstance first;
    QVERIFY(first.First());  // it runs
    const sealdoor::app::SingleInstance second;
    QVERIFY(!second.First());  // and one copy still keeps out another
    QVERIFY(QFileInfo::exists(home.path() + "/.cache/sealdoor/sealdoor.lock"));
  }
  qputenv("XDG_RUNTIME_DIR", savedRuntime);
  qputenv("HOME", savedHome);
  if (!savedCache.isEmpty()) qputenv("XDG_CACHE_HOME", savedCache);
  ::close(theirs);
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
