#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <sstream>
#include <string>

#include "app/single_instance.h"

class SingleInstanceTest : public QObject {
  Q_OBJECT
 private slots:
  void aSecondCopyEndsAtOnceAndLeavesTheFirst();
  void theLockGoesWithAKilledProcess();
  void anotherUsersLockCannotKeepItFromStarting();
};

namespace {

// How long a start may take on a busy machine: only a fault waits this long.
constexpr int kPatienceMs = 60000;

// Whether process `pid` holds the lock on `path`, as the kernel lists it in
// /proc/locks. Looked at, not tried: a try that won would hold the lock for
// an instant, and the copy being watched could take itself for a second one.
bool HeldBy(const QString& path, qint64 pid) {
  struct stat st {};
  if (::stat(path.toLocal8Bit().constData(), &st) != 0) return false;
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream in(line);
    std::string id, kind, advisory, mode, holder, where;
    if (!(in >> id >> kind >> advisory >> mode >> holder >> where) || kind != "FLOCK") continue;
    if (holder == std::to_string(pid) && where.ends_with(":" + std::to_string(st.st_ino))) return true;
  }
  return false;
}

// Waits until the first copy holds its lock.
bool Held(const QString& path, const QProcess& first) {
  for (QDeadlineTimer deadline(kPatienceMs); !deadline.hasExpired(); QTest::qWait(10))
    if (HeldBy(path, first.processId())) return true;
  return HeldBy(path, first.processId());
}

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
  QVERIFY2(Held(runtime.path() + "/sealdoor.lock", first), "the first copy did not take the lock within a minute");

  second.start(SEALDOOR_APP, {});
  QVERIFY(second.waitForFinished(kPatienceMs));
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
  QVERIFY2(Held(runtime.path() + "/sealdoor.lock", first), "the first copy did not take the lock within a minute");
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
