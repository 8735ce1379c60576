// sealdoor-cli in the user's language: the catalogue the build compiled,
// found beside the tool, chosen by the environment it is started with.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>
#include <string>

#include "../../engine/test_support.h"
#include "../cli_runner.h"

namespace sealdoor {
namespace {

// The language variables for the tools this test starts; the test's own
// come back at its end.
class ToolsEnvironment {
 public:
  explicit ToolsEnvironment(const std::map<std::string, std::string>& values) {
    for (const char* name : kNames) {
      if (const char* v = ::getenv(name)) saved_[name] = v;
      ::unsetenv(name);
    }
    for (const auto& [k, v] : values) ::setenv(k.c_str(), v.c_str(), 1);
  }
  ~ToolsEnvironment() {
    for (const char* name : kNames) ::unsetenv(name);
    for (const auto& [k, v] : saved_) ::setenv(k.c_str(), v.c_str(), 1);
  }
  ToolsEnvironment(const ToolsEnvironment&) = delete;
  ToolsEnvironment& operator=(const ToolsEnvironment&) = delete;

 private:
  static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::map<std::string, std::string> saved_;
};

TEST(CliLanguage, MessagesInTheUsersLanguageScriptsLinesUnchanged) {
  test::ScratchDir dir;
  test::WriteBytes(dir / "a", test::RandomBytes(900, 1));
  ASSERT_EQ(test::RunCli({"lock", "--password-stdin", "a"}, "Abc1\n", dir.Path()).exitCode, 0);
  struct Case {
    std::map<std::string, std::string> env;
    std::string wrongPassword, usage;
  };
  const Case cases[] = {
      {{{"LANG", "de_DE.UTF-8"}},
       "sealdoor-cli: 'a': Falsches Passwort ! (geben Sie das Passwort ein, mit dem sie gesperrt wurde; Groß- und "
       "Kleinschreibung zählt)\n",
       "sealdoor-cli: keine FILE angegeben\n„sealdoor-cli --help“ gibt weitere Informationen.\n"},
      {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "ru"}},  // the C locale: LANGUAGE not read
       "sealdoor-cli: 'a': Invalid password ! (type the password it was locked with; case counts)\n",
       "sealdoor-cli: no FILE given\nTry 'sealdoor-cli --help' for more information.\n"},
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "pl:de"}},
       "sealdoor-cli: 'a': Nieprawidłowe hasło ! (wpisz hasło, którym go zablokowano; wielkość liter ma znaczenie)\n",
       "sealdoor-cli: nie podano pliku FILE\nWięcej informacji: „sealdoor-cli --help”.\n"},
  };
  for (const auto& c : cases) {
    const ToolsEnvironment env(c.env);
    const auto wrong = test::RunCli({"unlock", "--password-stdin", "a"}, "abc1\n", dir.Path());
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.err, c.wrongPassword);
    const auto usage = test::RunCli({"lock"}, "", dir.Path());
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.err, c.usage);
    // What scripts read stays as it is in every language.
    const auto status = test::RunCli({"status", "a"}, "", dir.Path());
    EXPECT_EQ(status.out, "a: locked\n");
  }
}

}  // namespace
}  // namespace sealdoor
