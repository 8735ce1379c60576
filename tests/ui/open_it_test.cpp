#include <QProcess>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "support/xdg_fixture.h"

namespace fs = std::filesystem;
using sealdoor::test::XdgFixture;

namespace {

// Runs OpenIt on `path` in a fresh process on the fixture's desktop; returns
// what it printed, and waits for the started program's record.
QString OpenIn(const XdgFixture& fixture, const std::string& path, bool expectStart) {
  fs::remove(fixture.RecordFile());
  QProcess probe;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const auto& [k, v] : fixture.Environment()) env.insert(QString::fromStdString(k), QString::fromStdString(v));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  probe.setProcessEnvironment(env);
  probe.start(QStringLiteral(SEALDOOR_OPEN_PROBE), {QString::fromStdString(path)});
  // Generous limits: on a busy machine starting a program takes a while.
  constexpr int kPatienceMs = 60000;
  if (!probe.waitForFinished(kPatienceMs)) {
    probe.kill();
    probe.waitForFinished();
    return "the probe did not finish within a minute";
  }
  // The started program runs on its own: its record comes when it comes.
  if (expectStart) {
    QDeadlineTimer deadline(kPatienceMs);
    while (!fs::exists(fixture.RecordFile()) && !deadline.hasExpired()) QTest::qWait(10);
  }
  return QString::fromUtf8(probe.readAllStandardOutput());
}

std::vector<std::string> V(std::initializer_list<std::string> l) { return l; }

}  // namespace

class OpenItTest : public QObject {
  Q_OBJECT
 private slots:
  void registeredTypeGetsThePathAsOneArgument_data();
  void registeredTypeGetsThePathAsOneArgument();
  void terminalAndFlatpakApplications();
  void unregisteredTypeIsTold();
  void aMissingTerminalIsTold();
  void noFileEverRunsItself();
};

void OpenItTest::registeredTypeGetsThePathAsOneArgument_data() {
  QTest::addColumn<QString>("name");
  QTest::newRow("plain") << "report.sdtest";
  QTest::newRow("spaces") << "my  report final.sdtest";
  QTest::newRow("quotes") << "it's \"quoted\".sdtest";
  QTest::newRow("shell characters") << "a;b|c&d $(touch pwned) `id`.sdtest";
  QTest::newRow("leading dash") << "-rf.sdtest";
}

void OpenItTest::registeredTypeGetsThePathAsOneArgument() {
  QFETCH(QString, name);
  XdgFixture fixture;
  const std::string path = (fixture.Root() / name.toStdString()).string();
  std::ofstream(path) << "hello";
  const QString out = OpenIn(fixture, path, true);
  QCOMPARE(out, QString());
  QCOMPARE(fixture.Recorded(), V({"recorder", path}));
  QVERIFY(!fs::exists(fixture.Root() / "pwned"));
}

void OpenItTest::terminalAndFlatpakApplications() {
  XdgFixture fixture;
  const std::string rec = fixture.Recorder().string();
  const std::string term = (fixture.Root() / "notes file.sdterm").string();
  std::ofstream(term) << "x";
  OpenIn(fixture, term, true);
  QCOMPARE(fixture.Recorded(), V({"x-terminal-emulator", "-e", rec, "--edit", term}));

  const std::string flat = (fixture.Root() / "photo.sdflat").string();
  std::ofstream(flat) << "x";
  OpenIn(fixture, flat, true);
  QCOMPARE(fixture.Recorded(), V({"recorder", "run", "--file-forwarding", "org.example.App", "@@u", flat, "@@"}));

  const std::string quoted = (fixture.Root() / "q.sdquote").string();
  std::ofstream(quoted) << "x";
  OpenIn(fixture, quoted, true);
  QCOMPARE(fixture.Recorded(), V({"spaced recorder", quoted}));
}

void OpenItTest::unregisteredTypeIsTold() {
  XdgFixture fixture;
  for (const std::string name : {"data.sdorphan", "data.nosuchext", "folder.d/README", "Makefile"}) {
    const std::string path = (fixture.Root() / name).string();
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "x";
    const QString out = OpenIn(fixture, path, false);
    QCOMPARE(out, QString::fromStdString("message 48: '" + path +
                                         "' is not a registered type.\r\n\r\nThe file was unlocked, but could not "
                                         "be open !\n"));
    QVERIFY(fixture.Recorded().empty());
  }
}

void OpenItTest::aMissingTerminalIsTold() {
  XdgFixture fixture;
  fixture.RemoveTerminals();
  const std::string term = (fixture.Root() / "notes.sdterm").string();
  std::ofstream(term) << "x";
  QCOMPARE(OpenIn(fixture, term, false),
           QString::fromStdString("message 48: '" + term +
                                  "' could not be started: its program runs in a terminal, and no terminal program "
                                  "is installed\n"));
  QVERIFY(fixture.Recorded().empty());
}

void OpenItTest::noFileEverRunsItself() {
  // On removable disks every file may be marked executable: a received
  // "invoice.bat" opens with the program the desktop names for its type,
  // or not at all, and is never run itself.
  XdgFixture fixture;
  for (const std::string ext : {".exe", ".com", ".pif", ".bat"}) {
    const std::string path = (fixture.Root() / ("prog" + ext)).string();
    fs::copy_file(fixture.Recorder(), path, fs::copy_options::overwrite_existing);
    const QString out = OpenIn(fixture, path, ext == ".bat");
    if (ext == ".bat") {
      QCOMPARE(out, QString());
      QCOMPARE(fixture.Recorded(), V({"recorder", "--view", path}));  // its program, on it
    } else {
      QVERIFY2(out.contains("is not a registered type."), qPrintable(out));
      QVERIFY(fixture.Recorded().empty());
    }
  }
}

QTEST_MAIN(OpenItTest)
#include "open_it_test.moc"
