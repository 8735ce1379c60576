// Files from a second launch: the real sealdoor program hands them to a
// running window (here the test's own, wired as the program wires its
// own), which runs them as a drop onto the button or keeps them waiting.
// What is not a well-formed message of our own user is dropped.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>

#include "../engine/test_support.h"
#include "../ui/fakes.h"
#include "first_copy.h"
#include "app/handover_client.h"
#include "app/handover_message.h"
#include "app/qt/handover_server.h"
#include "app/single_instance.h"
#include "engine/format.h"
#include "support/wait_for.h"

using sealdoor::test::Child;
using sealdoor::test::Harness;
using sealdoor::test::Texts;

// How long a launch may take on a busy machine: only a fault waits this long.
constexpr int kPatienceMs = 60000;

class HandoverTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void aSecondLaunchHandsItsFilesToTheRunningWindow();
  void withoutAPasswordTheFilesWaitForTheirButton();
  void launchesThatComeTogetherMakeOneBatch();
  void whatIsNotOurOwnWellFormedMessageIsDropped();
  void aMessageFromAnotherUserIsDropped();
  void theRealProgramListensAndEndsLaterLaunchesAtOnce();
  void theWindowIsReachedWhateverHappensToTheRuntimeFolder();
  void aLaunchTooLargeToHandOverSaysWhatToDoInstead();
  void relativeNamesFromAWorkingFolderThatIsGoneAloneAreLeftOut();

 private:
  QProcessEnvironment Env() const;
  // `inChild` runs in the launch's process before the program starts.
  QProcess* Launch(const QStringList& args, std::function<void()> inChild = {});
  QString File(const char* name, int size);
  static bool Locked(const QString& path);

  std::unique_ptr<QTemporaryDir> runtime_, files_;
  std::unique_ptr<sealdoor::app::SingleInstance> lock_;
  std::unique_ptr<Harness> h_;
  std::unique_ptr<sealdoor::app::HandoverServer> server_;
  std::vector<std::unique_ptr<QProcess>> launched_;
};

QProcessEnvironment HandoverTest::Env() const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_RUNTIME_DIR", runtime_->path());
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.remove("DISPLAY");  // an error goes to standard error alone, not to a box
  env.remove("WAYLAND_DISPLAY");
  return env;
}

void HandoverTest::init() {
  runtime_ = std::make_unique<QTemporaryDir>();
  files_ = std::make_unique<QTemporaryDir>();
  // The test is the first copy: it holds the lock and listens beside it.
  lock_ = std::make_unique<sealdoor::app::SingleInstance>((runtime_->path() + "/sealdoor.lock").toStdString());
  QVERIFY(lock_->First());
  h_ = std::make_unique<Harness>();
  h_->window.show();
  server_ = std::make_unique<sealdoor::app::HandoverServer>(
      lock_->Listener(), sealdoor::app::BringForward(h_->window), sealdoor::app::HandTo(h_->form));
  QVERIFY(server_->Listen());
}

void HandoverTest::cleanup() {
  for (auto& p : launched_) {
    p->kill();
    p->waitForFinished();
  }
  launched_.clear();
  server_.reset();
  h_.reset();
  lock_.reset();
}

QProcess* HandoverTest::Launch(const QStringList& args, std::function<void()> inChild) {
  auto p = std::make_unique<QProcess>();
  p->setProcessEnvironment(Env());
  if (inChild) p->setChildProcessModifier(std::move(inChild));
  p->start(SEALDOOR_APP, args);
  launched_.push_back(std::move(p));
  return launched_.back().get();
}

QString HandoverTest::File(const char* name, int size) {
  const QString path = files_->path() + "/" + name;
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(QByteArray(size, 'x'));
  return path;
}

bool HandoverTest::Locked(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray head = f.read(702);
  return sealdoor::format::IsLocked(
      std::span(reinterpret_cast<const std::uint8_t*>(head.constData()), static_cast<std::size_t>(head.size())));
}

// Runs the event loop (the window's server answers in it) until `p` ends.
bool Ended(QProcess* p, int ms = kPatienceMs) {
  QDeadlineTimer deadline(ms);
  while (p->state() != QProcess::NotRunning && !deadline.hasExpired()) QTest::qWait(10);
  return p->state() == QProcess::NotRunning;
}

void HandoverTest::aSecondLaunchHandsItsFilesToTheRunningWindow() {
  const QString a = File("a.txt", 5000), b = File("b b.txt", 3000);
  QTest::keyClicks(Child(h_->window, "Text1"), "Abc123");
  QProcess* second = Launch({"--lock", a, b});
  QVERIFY(Ended(second));
  QCOMPARE(second->exitCode(), 0);
  QTRY_COMPARE_WITH_TIMEOUT(Texts(h_->messages), QStringList{"Files locked !"}, kPatienceMs);
  QVERIFY(Locked(a) && Locked(b));
  // The window's own progress ran to its end.
  QCOMPARE(Child<QLabel>(h_->window, "Label22")->text(), QString("100%"));
  QCOMPARE(Child<QLabel>(h_->window, "Label16")->accessibleName(), QString("b b.txt"));
  QVERIFY(h_->dialog.asked.empty());
}

void HandoverTest::withoutAPasswordTheFilesWaitForTheirButton() {
  const QString c = File("c.txt", 4000);
  QVERIFY(sealdoor::test::Lock(c.toStdString(), "Pw42"));
  QProcess* second = Launch({"--unlock", c});
  QVERIFY(Ended(second));
  QCOMPARE(second->exitCode(), 0);
  auto* status = Child<QLabel>(h_->window, "Label12");
  QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("1 file to unlock: type the password, then press Unlock Files"),
                            kPatienceMs);
  QVERIFY(Locked(c));
  QTest::keyClicks(Child(h_->window, "Text1"), "Pw42");
  QTest::mouseClick(Child<QPushButton>(h_->window, "Command5"), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(Texts(h_->messages), QStringList{"File Unlocked !"}, kPatienceMs);
  QVERIFY(!Locked(c));
  QVERIFY(h_->dialog.asked.empty());  // no dialog: the files were there
  // A desktop menu's action without files names its button.
  QProcess* menu = Launch({"--lock"});
  QVERIFY(Ended(menu));
  QCOMPARE(menu->exitCode(), 0);
  QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("To lock files, press Lock Files"), kPatienceMs);
  QCOMPARE(Texts(h_->messages), QStringList{"File Unlocked !"});
}

namespace {

// Whether launch `pid` has handed its files over and waits for the window's
// answer, as the kernel's /proc/PID/syscall shows (the number of the call
// it waits in): nothing else a launch does before it ends polls.
bool AwaitingAnswer(qint64 pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
  long call = -1;
  return in >> call && (call == SYS_poll || call == SYS_ppoll);
}

}  // namespace

void HandoverTest::launchesThatComeTogetherMakeOneBatch() {
  // Explorer starts one program per file, all at once. How long each takes
  // to start is the machine's business: here the window hears nothing (its
  // event loop does not run) until all four have handed their files over
  // and wait for its answer, so they arrive together however slowly they
  // started, as at a window busy with something else for a moment.
  if (!std::ifstream("/proc/self/syscall")) QSKIP("no /proc/PID/syscall here to see a launch wait");
  std::vector<std::vector<std::string>> batches;
  server_ = std::make_unique<sealdoor::app::HandoverServer>(
      lock_->Listener(), sealdoor::app::BringForward(h_->window),
      [&batches, hand = sealdoor::app::HandTo(h_->form)](const sealdoor::app::Arrival& arrival) {
        batches.push_back(arrival.paths);
        hand(arrival);
      });
  QVERIFY(server_->Listen());
  QStringList paths;
  for (const char* n : {"1", "2", "3", "4"}) paths << File(n, 2000);
  QTest::keyClicks(Child(h_->window, "Text1"), "Abc123");
  std::vector<QProcess*> all;
  for (const auto& p : paths) all.push_back(Launch({"--lock", p}));  // as Explorer starts one per file
  QVERIFY2(sealdoor::test::WaitFor([&] {
             return std::ranges::all_of(all, [](QProcess* p) { return AwaitingAnswer(p->processId()); });
           }),
           "the four launches did not all hand their files over within a minute");
  for (QProcess* p : all) {
    QVERIFY(Ended(p));
    QCOMPARE(p->exitCode(), 0);
  }
  // Each launch ends once its files were taken: all four are in hand. The
  // first batch holding all of them leaves none for another.
  QTRY_VERIFY_WITH_TIMEOUT(!batches.empty(), kPatienceMs);
  QCOMPARE(batches.size(), std::size_t{1});
  QStringList batch;
  for (const auto& p : batches[0]) batch << QString::fromStdString(p);
  batch.sort();
  QCOMPARE(batch, paths);
  QCOMPARE(Texts(h_->messages), QStringList{"Files locked !"});
  for (const auto& p : paths) QVERIFY(Locked(p));
}

namespace {

// Sends raw bytes as a client would, and says whether the server answered.
bool SendRaw(const std::string& to, const QByteArray& bytes) {
  const int s = sealdoor::test::ConnectTo(to);
  if (s < 0) return false;
  bool answered = false;
  if (::send(s, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL) == bytes.size()) {
    // The event loop runs meanwhile: the server is in this process.
    QDeadlineTimer deadline(kPatienceMs);
    char ack = 0;
    while (!deadline.hasExpired()) {
      pollfd p{s, POLLIN, 0};
      if (::poll(&p, 1, 0) == 1) {
        answered = ::recv(s, &ack, 1, 0) == 1 && ack == '1';
        break;
      }
      QTest::qWait(10);
    }
  }
  ::close(s);
  return answered;
}

QByteArray Framed(const std::string& message, std::uint32_t size) {
  QByteArray out;
  for (int i = 0; i < 4; ++i) out.append(static_cast<char>(size >> (8 * i)));
  out.append(message.data(), static_cast<qsizetype>(message.size()));
  return out;
}

QByteArray Framed(const std::string& message) { return Framed(message, static_cast<std::uint32_t>(message.size())); }

}  // namespace

void HandoverTest::whatIsNotOurOwnWellFormedMessageIsDropped() {
  const QString a = File("a", 100);
  const std::string socket = lock_->Address();
  const std::string good = sealdoor::app::EncodeArrival({std::nullopt, {a.toStdString()}, 1});
  const std::vector<std::pair<const char*, QByteArray>> bad = {
      {"not ours", QByteArray("GET / HTTP/1.0\r\n\r\n")},
      {"garbage framed", Framed(std::string("\x01\x02\x03 not a message"))},
      {"oversized", Framed(good, sealdoor::app::kMaxMessageBytes + 1)},
      {"more than it said", Framed(good + "extra", static_cast<std::uint32_t>(good.size()))},
      {"a relative path", Framed(sealdoor::app::EncodeArrival({sealdoor::Action::Lock, {"a"}, 1}))},
  };
  for (const auto& [what, bytes] : bad) QVERIFY2(!SendRaw(socket, bytes), what);
  QTest::qWait(700);
  QVERIFY(h_->form.PendingFiles().empty());
  QVERIFY(h_->messages.shown.empty());
  // And it still hears a good one.
  QVERIFY(SendRaw(socket, Framed(good)));
  QTRY_COMPARE_WITH_TIMEOUT(h_->form.PendingFiles().size(), std::size_t{1}, kPatienceMs);
}

void HandoverTest::aMessageFromAnotherUserIsDropped() {
  if (::geteuid() != 0) QSKIP("needs root, to be another user");
  const QString a = File("a", 100);
  // Anyone may connect to the first copy's socket: only the server's own check stands.
  const std::string to = lock_->Address();
  const std::string message = sealdoor::app::EncodeArrival({std::nullopt, {a.toStdString()}, 1});
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    const int s = sealdoor::test::ConnectTo(to);
    if (s < 0) ::_exit(4);
    const QByteArray framed = Framed(message);
    (void)!::write(s, framed.constData(), static_cast<std::size_t>(framed.size()));
    pollfd p{s, POLLIN, 0};
    char ack = 0;
    ::_exit(::poll(&p, 1, kPatienceMs) == 1 && ::read(s, &ack, 1) == 1 && ack == '1' ? 1 : 0);
  }
  int status = 0;
  QDeadlineTimer deadline(kPatienceMs);
  while (::waitpid(child, &status, WNOHANG) == 0 && !deadline.hasExpired()) QTest::qWait(10);
  if (deadline.hasExpired() && ::waitpid(child, &status, WNOHANG) == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    QFAIL("the other user's connection was neither answered nor dropped within a minute");
  }
  QVERIFY(WIFEXITED(status));
  QCOMPARE(WEXITSTATUS(status), 0);  // connected, and got no answer
  QTest::qWait(700);
  QVERIFY(h_->form.PendingFiles().empty());
}

void HandoverTest::theRealProgramListensAndEndsLaterLaunchesAtOnce() {
  // Not the test's window this time: the program's own.
  const std::string address = lock_->Address();
  server_.reset();
  lock_.reset();
  const QString c = File("c", 100), d = File("d", 100);
  QProcess* first = Launch({"--unlock", c});
  QTRY_VERIFY_WITH_TIMEOUT(sealdoor::test::Listening(address), kPatienceMs);
  for (const QStringList& args : {QStringList{}, QStringList{"--lock", d}, QStringList{d}}) {
    QProcess* later = Launch(args);
    QVERIFY(later->waitForFinished(kPatienceMs));  // the first answers from its own process
    QCOMPARE(later->exitCode(), 0);
  }
  QProcess* wrong = Launch({"--frobnicate"});
  QVERIFY(wrong->waitForFinished(kPatienceMs));
  QCOMPARE(wrong->exitCode(), 2);
  QVERIFY(wrong->readAllStandardError().startsWith("sealdoor: unknown option '--frobnicate'"));
  QCOMPARE(first->state(), QProcess::Running);
}

// The system may clean the runtime folder (files unused for 6 hours), and a
// user may empty it: later launches still reach the running window.
void HandoverTest::theWindowIsReachedWhateverHappensToTheRuntimeFolder() {
  const QString c = File("c.txt", 4000);
  QVERIFY(QDir(runtime_->path()).removeRecursively());
  QVERIFY(!QFileInfo::exists(runtime_->path()));
  QProcess* second = Launch({"--unlock", c});
  QVERIFY(Ended(second));
  QCOMPARE(second->exitCode(), 0);
  QCOMPARE(second->readAllStandardError(), QByteArray());
  QTRY_COMPARE_WITH_TIMEOUT(Child<QLabel>(h_->window, "Label12")->text(),
                            QString("1 file to unlock: type the password, then press Unlock Files"), 10000);
  QCOMPARE(h_->form.PendingFiles().size(), std::size_t{1});
}

// More than one message holds: told what helps (no waiting does), and the
// window gets nothing.
void HandoverTest::aLaunchTooLargeToHandOverSaysWhatToDoInstead() {
  // A command line that long needs a larger stack than the usual 8 MiB
  // (the kernel allows arguments up to a quarter of it).
  constexpr rlim_t kStack = 64u << 20;
  rlimit limit{};
  if (::getrlimit(RLIMIT_STACK, &limit) != 0 || (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < kStack))
    QSKIP("the stack cannot grow enough here for a command line of over 4 MiB");
  QStringList args{"--lock"};
  qsizetype bytes = 0;
  for (int i = 0; bytes <= static_cast<qsizetype>(sealdoor::app::kMaxMessageBytes); ++i) {
    args << files_->path() + "/" + QString::number(i) + QString(90'000, QLatin1Char('x'));
    bytes += args.back().size() + 1;
  }
  QProcess* second = Launch(args, [] {
    const rlimit more{kStack, kStack};
    ::setrlimit(RLIMIT_STACK, &more);
  });
  QVERIFY(Ended(second));
  QCOMPARE(second->exitCode(), 1);
  QCOMPARE(QString::fromUtf8(second->readAllStandardError()),
           QString("sealdoor: too many files to hand to the running Sealdoor window at once; give fewer files at a "
                   "time, or the folder that holds them, or use sealdoor-cli\n"));
  QTest::qWait(700);
  QVERIFY(h_->form.PendingFiles().empty());
  QVERIFY(h_->messages.shown.empty());
}

void HandoverTest::relativeNamesFromAWorkingFolderThatIsGoneAloneAreLeftOut() {
  const QString c = File("c.txt", 4000);
  const QByteArray gone = (files_->path() + "/gone").toLocal8Bit();
  QVERIFY(QDir().mkdir(QString::fromLocal8Bit(gone)));
  // Started from a folder that is deleted under it, as a file manager's
  // launch can be.
  QProcess* second = Launch({"--unlock", "rel.txt", c, "sub/other"}, [gone] {
    if (::chdir(gone.constData()) != 0 || ::rmdir(gone.constData()) != 0) ::_exit(99);
  });
  QVERIFY(Ended(second));
  QCOMPARE(second->exitCode(), 1);
  QCOMPARE(QString::fromUtf8(second->readAllStandardError()),
           QString("sealdoor: 'rel.txt' and 'sub/other' were left out: the folder they were given in no longer "
                   "exists (give their full paths)\n"));
  // The full path still went.
  QTRY_COMPARE_WITH_TIMEOUT(h_->form.PendingFiles(), std::vector<std::string>{c.toStdString()}, 10000);
  QTRY_COMPARE(Child<QLabel>(h_->window, "Label12")->text(),
               QString("1 file to unlock: type the password, then press Unlock Files"));
}

QTEST_MAIN(HandoverTest)
#include "handover_test.moc"
