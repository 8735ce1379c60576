// OpenIt on Windows, from the registry to a started program: a program of
// the test's own, registered for an extension of its own, records how it
// was started.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "../../engine/test_support.h"
#include "../recording_view.h"
#include "../service_fakes.h"
#include "engine/path_text.h"
#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"
#include "shell/system_folders.h"
#include "shell/win32/create_process_starter.h"
#include "support/win32/registered_class.h"
#include "ui/form4.h"
#include "support/win32/beside_test.h"

namespace sealdoor::ui {
namespace {

namespace fs = std::filesystem;

fs::path Recorder() { return test::BesideThisTest(L"recorder.exe"); }

// The lines the recorder wrote: its command line, then its arguments.
std::vector<std::string> Recorded(const fs::path& record) {
  // The started program runs on its own: its record comes when it comes
  // (a minute at most, on a busy machine).
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!fs::exists(record) && std::chrono::steady_clock::now() < until) ::Sleep(10);
  std::vector<std::string> lines;
  {
    std::ifstream in(record, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  fs::remove(record);
  return lines;
}

struct Opener {
  test::RecordingView view;
  test::FakeMessages messages;
  test::FakePointer pointer;
  test::FakeDialog dialog;
  shell::CreateProcessStarter starter;
  Form4 form{view, {messages, pointer, dialog, starter}, shell::GetSystemFolders().windowsFolder};
  Opener() { form.SetOpenPause(std::chrono::seconds(0)); }
  void Open(const fs::path& p) { form.OpenIt(PathText(p)); }
};

TEST(OpenIt, TheRegisteredProgramGetsThePathAsOneArgument) {
  test::ScratchDir dir;
  const fs::path record = dir / "record.txt";
  ::SetEnvironmentVariableW(L"SEALDOOR_RECORD", record.c_str());
  const std::wstring recorder = Recorder().wstring();
  // As most programs register: quoted program, quoted "%1"; and as some
  // do: neither quoted.
  const test::RegisteredClass quoted(L".sdrec", L"Sealdoor.Recorded", L"\"" + recorder + L"\" \"%1\"");
  const test::RegisteredClass bare(L".sdbare", L"Sealdoor.Bare", recorder + L" %1");
  Opener o;
  for (const std::string name : {"my report.sdrec", "plain.sdbare", "with spaces too.sdbare"}) {
    const fs::path file = dir / name;
    test::WriteBytes(file, {'x'});
    o.Open(file);
    const auto lines = Recorded(record);
    ASSERT_EQ(lines.size(), 2u) << name;
    EXPECT_EQ(lines[1], PathText(file)) << name;
  }
  EXPECT_TRUE(o.messages.shown.empty());

  // A program installed deep down, as below "C:\Program Files\...": its
  // command is far longer than 80 characters, and it is started all the same.
  const fs::path deep = dir / std::string(70, 'v') / std::string(70, 'w') / "Viewer";
  fs::create_directories(deep);
  fs::copy_file(Recorder(), deep / "viewer.exe");
  const std::wstring longCommand = L"\"" + (deep / "viewer.exe").wstring() + L"\" --single \"%1\"";
  ASSERT_GE(longCommand.size(), 200u);
  const test::RegisteredClass deepClass(L".sddeep", L"Sealdoor.Deep", longCommand);
  const fs::path report = dir / "report.sddeep";
  test::WriteBytes(report, {'x'});
  o.Open(report);
  const auto deepLines = Recorded(record);
  ASSERT_EQ(deepLines.size(), 3u);
  EXPECT_EQ(deepLines[1], "--single");
  EXPECT_EQ(deepLines[2], PathText(report));
  EXPECT_TRUE(o.messages.shown.empty());

  // A program itself is started directly.
  const fs::path program = dir / "my tool.exe";
  fs::copy_file(Recorder(), program);
  o.Open(program);
  EXPECT_EQ(Recorded(record).size(), 1u)  // its command line, no arguments
      << (o.messages.shown.empty() ? std::string("no message") : o.messages.shown.back().first);

  // An extension nothing is registered for.
  const fs::path unknown = dir / "data.sdnothing";
  test::WriteBytes(unknown, {'x'});
  o.Open(unknown);
  EXPECT_EQ(o.messages.Texts(), std::vector<std::string>{"'" + PathText(unknown) +
                                                         "' is not a registered type.\r\n\r\nThe file was unlocked, "
                                                         "but could not be open !"});
}

}  // namespace
}  // namespace sealdoor::ui
