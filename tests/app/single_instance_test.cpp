#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <sstream>
#include <string>

#include "app/single_instance.h"
#include "first_copy.h"

class SingleInstanceTest : public QObject {
  Q_OBJECT
 private slots:
  void aSecondCopyEndsAtOnceAndLeavesTheFirst();
  void theLockGoesWithAKilledProcess();
  void anotherUsersLockCannotKeepItFromStarting();
  void anotherUserHoldingTheNameCannotKeepItFromStarting();
  void oneWindowWhateverHappensToTheRuntimeFolder();
  void withoutADisplayItSaysSoInOneLine();
};

namespace {

// How long a start may take on a busy machine: only a fault waits this long.
constexpr int kPatienceMs = 60000;

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
  const std::string address = sealdoor::test::AddressFor(runtime.path().toStdString());
  first.start(SEALDOOR_APP, {});
  QVERIFY(first.waitForStarted());
  // Wait until the first copy holds the lock (and listens on it).
  QTRY_VERIFY2_WITH_TIMEOUT(sealdoor::test::Listening(address), "the first copy never took the lock", 60000);

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
  const std::string address = sealdoor::test::AddressFor(runtime.path().toStdString());
  QProcess first;
  first.setProcessEnvironment(Env(runtime));
  first.start(SEALDOOR_APP, {});
  QVERIFY(first.waitForStarted());
  QTRY_VERIFY_WITH_TIMEOUT(sealdoor::test::Listening(address), 60000);
  QVERIFY(!sealdoor::app::SingleInstance(lock).First());
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
    QCOMPARE(second.Address(), first.Address());
  }
  qputenv("XDG_RUNTIME_DIR", savedRuntime);
  qputenv("HOME", savedHome);
  if (!savedCache.isEmpty()) qputenv("XDG_CACHE_HOME", savedCache);
  ::close(theirs);
}

// Anyone may bind any name of the kind the lock uses. Where another user
// holds ours, a lock file in a folder only we may write in stands in, and
// still only one copy runs.
void SingleInstanceTest::anotherUserHoldingTheNameCannotKeepItFromStarting() {
  if (::geteuid() != 0) QSKIP("needs root, to be another user");
  QTemporaryDir runtime, home;
  const std::string address = sealdoor::test::AddressFor(runtime.path().toStdString());
  QVERIFY(!address.empty() && address[0] == '\0');
  int ready[2];
  QCOMPARE(::pipe(ready), 0);
  const pid_t squatter = ::fork();
  if (squatter == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, address.data(), address.size());
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                                                          address.size())) != 0 ||
        ::listen(s, 8) != 0)
      ::_exit(4);
    (void)!::write(ready[1], "1", 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char got = 0;
  QCOMPARE(::read(ready[0], &got, 1), ssize_t{1});
  ::close(ready[0]);
  const QByteArray savedHome = qgetenv("HOME"), savedCache = qgetenv("XDG_CACHE_HOME");
  qputenv("HOME", home.path().toLocal8Bit());
  qunsetenv("XDG_CACHE_HOME");
  {
    // The runtime folder's own stand-in, then the default place's.
    const sealdoor::app::SingleInstance first((runtime.path() + "/sealdoor.lock").toStdString());
    QVERIFY(first.First());
    QCOMPARE(first.Address(), (runtime.path() + "/sealdoor.socket").toStdString());
    QVERIFY(first.Listener() >= 0);
    QVERIFY(!sealdoor::app::SingleInstance((runtime.path() + "/sealdoor.lock").toStdString()).First());
    // Kept by the system's cleaning of the runtime folder.
    for (const char* name : {"/sealdoor.lock", "/sealdoor.socket"}) {
      struct stat st {};
      QCOMPARE(::lstat((runtime.path() + name).toLocal8Bit().constData(), &st), 0);
      QVERIFY2((st.st_mode & S_ISVTX) != 0, name);
      QCOMPARE(st.st_mode & 0077, 0u);
    }
  }
  ::kill(squatter, SIGKILL);
  ::waitpid(squatter, nullptr, 0);
  qputenv("HOME", savedHome);
  if (!savedCache.isEmpty()) qputenv("XDG_CACHE_HOME", savedCache);
}

// Files of the runtime folder may go (the system cleans it of files unused
// for 6 hours; a user may empty it): a later launch still reaches the
// running window, and no second window starts.
void SingleInstanceTest::oneWindowWhateverHappensToTheRuntimeFolder() {
  QTemporaryDir runtime, files;
  const std::string address = sealdoor::test::AddressFor(runtime.path().toStdString());
  QProcess first;
  first.setProcessEnvironment(Env(runtime));
  first.start(SEALDOOR_APP, {});
  QVERIFY(first.waitForStarted());
  QTRY_VERIFY_WITH_TIMEOUT(sealdoor::test::Listening(address), 60000);
  // Everything in it, and the folder itself.
  QVERIFY(QDir(runtime.path()).removeRecursively());
  const QString file = files.path() + "/a.txt";
  QFile f(file);
  QVERIFY(f.open(QIODevice::WriteOnly) && f.write("words") == 5);
  f.close();
  for (const QStringList& args : {QStringList{"--lock", file}, QStringList{}, QStringList{file}}) {
    QProcess later;
    later.setProcessEnvironment(Env(runtime));
    later.start(SEALDOOR_APP, args);
    QVERIFY(later.waitForFinished(15000));  // no window of its own
    QCOMPARE(later.exitCode(), 0);          // the first took the files
    QCOMPARE(later.readAllStandardError(), QByteArray());
  }
  QCOMPARE(first.state(), QProcess::Running);
  QVERIFY(sealdoor::test::Listening(address));
  first.kill();
  first.waitForFinished();
}

// No display: one line of ours, not Qt's platform plugin's text and an abort.
void SingleInstanceTest::withoutADisplayItSaysSoInOneLine() {
  QTemporaryDir runtime, files;
  QProcessEnvironment env = Env(runtime);
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
  const QString file = files.path() + "/a.txt";
  QFile f(file);
  QVERIFY(f.open(QIODevice::WriteOnly) && f.write("words") == 5);
  f.close();
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(SEALDOOR_APP, {"--lock", file});
  QVERIFY(p.waitForFinished(15000));
  QCOMPARE(p.exitStatus(), QProcess::NormalExit);
  QCOMPARE(p.exitCode(), 1);
  QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
           QString("sealdoor: no display found to show the window on; sealdoor-cli works without one\n"));
  QCOMPARE(p.readAllStandardOutput(), QByteArray());
  QVERIFY(f.open(QIODevice::ReadOnly));
  QCOMPARE(f.readAll(), QByteArray("words"));
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
