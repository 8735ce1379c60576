// The shell services on Windows: the registry's file classes (a class of the
// test's own, under HKCU\Software\Classes, which HKEY_CLASSES_ROOT merges),
// the command line a registered command and a file make, the folders.

#include <gtest/gtest.h>

#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"
#include "shell/open_command.h"
#include "shell/system_folders.h"
#include "shell/win32/create_process_starter.h"
#include "support/win32/registered_class.h"

namespace sealdoor::shell {
namespace {

using test::RegisteredClass;

std::string Lookup(const std::string& extension) {
  const auto command = GetOpenCommand(extension);
  return command ? command->prefix : std::string();
}

TEST(Registry, TheClassesOpenCommandCutToAPrefix) {
  const RegisteredClass quoted(L".sdtest", L"Sealdoor.TestFile", L"\"C:\\Prog Files\\viewer.exe\" \"%1\"");
  const RegisteredClass plain(L".sdplain", L"Sealdoor.Plain", L"%SystemRoot%\\system32\\notepad.exe %1");
  const RegisteredClass switched(L".sdswitch", L"Sealdoor.Switch", L"C:\\app.exe /open");
  const RegisteredClass none(L".sdnone", L"Sealdoor.None", L"C:\\app.exe");

  EXPECT_EQ(Lookup(".sdtest"), "\"C:\\Prog Files\\viewer.exe\" ");
  EXPECT_EQ(Lookup(".sdplain"), "%SystemRoot%\\system32\\notepad.exe ");
  EXPECT_EQ(Lookup(".sdswitch"), "C:\\app.exe ");
  EXPECT_EQ(Lookup(".sdnone"), "");
  EXPECT_EQ(Lookup(".sdnosuchext"), "");
  EXPECT_EQ(Lookup(".SDTEST"), "\"C:\\Prog Files\\viewer.exe\" ");  // the registry ignores case
}

TEST(Registry, LongCommandsWholeAndVariablesExpanded) {
  // Most programs below "C:\Program Files\..." have commands longer than
  // any small buffer: the whole command counts, and is cut by the rules.
  const std::wstring program = L"C:\\Program Files\\" + std::wstring(150, L'p') + L"\\Viewer\\viewer.exe";
  const std::wstring command = L"\"" + program + L"\" --new-window \"%1\"";
  ASSERT_GE(command.size(), 200u);
  const RegisteredClass longCommand(L".sdlong", L"Sealdoor.Long", command);
  EXPECT_EQ(Lookup(".sdlong"), win32::Narrow(L"\"" + program + L"\" --new-window "));
  // A long class name too.
  const std::wstring longClass = L"Sealdoor." + std::wstring(120, L'c');
  const RegisteredClass longName(L".sdlongclass", longClass, L"C:\\app.exe %1");
  EXPECT_EQ(Lookup(".sdlongclass"), "C:\\app.exe ");
  // Written with environment variables, as installers often do.
  ::SetEnvironmentVariableW(L"SEALDOOR_TEST_PROGRAMS", L"C:\\Long Programs Folder");
  const RegisteredClass expanded(L".sdexpand", L"Sealdoor.Expand", L"\"%SEALDOOR_TEST_PROGRAMS%\\app.exe\" \"%1\"",
                                 REG_EXPAND_SZ);
  EXPECT_EQ(Lookup(".sdexpand"), "\"C:\\Long Programs Folder\\app.exe\" ");
}

TEST(Registry, ThePathArrivesAsOneArgument) {
  // Unless the prefix opened a quote, the path goes in quotes: a path with
  // spaces would otherwise arrive as several arguments.
  EXPECT_EQ(CommandLineFor("\"C:\\viewer.exe\" ", "C:\\my files\\a b.txt"),
            "\"C:\\viewer.exe\" \"C:\\my files\\a b.txt\"");
  EXPECT_EQ(CommandLineFor("C:\\viewer.exe --file=\"", "C:\\a b.txt"), "C:\\viewer.exe --file=\"C:\\a b.txt");
  EXPECT_EQ(CommandLineFor("\"", "C:\\prog.exe"), "\"C:\\prog.exe");
}

TEST(SystemFolders, TheSystemsOwnFolders) {
  wchar_t windows[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_EQ(SystemRootFolder(), win32::Narrow(windows));
  EXPECT_NE(SystemRootFolder().back(), '\\');
  EXPECT_EQ(InitialDialogFolder(), "C:\\");
  EXPECT_EQ(ExpandSystemRoot("%SystemRoot%\\system32\\notepad.exe ", SystemRootFolder()),
            SystemRootFolder() + "\\system32\\notepad.exe ");
}

}  // namespace
}  // namespace sealdoor::shell
