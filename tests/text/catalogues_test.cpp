// The catalogues as the build compiles them, against the template the build
// extracts from the sources: every language has every text, keeps every
// placeholder; English is the sources' own words; the user's languages are
// read as gettext reads them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "text/catalogue.h"
#include "text/languages.h"
#include "text/plural_rule.h"
#include "text/tr.h"
#include "languages_under_test.h"

namespace sealdoor::text {
namespace {

struct Message {
  std::string id;
  std::string plural;  // empty for a text that does not count
};

std::string Unescaped(const std::string& quoted) {
  std::string out;
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    if (quoted[i] != '\\' || i + 1 == quoted.size()) {
      out += quoted[i];
      continue;
    }
    const char c = quoted[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
  }
  return out;
}

// The template's messages, the header left out.
std::vector<Message> TemplateMessages() {
  std::ifstream in(SEALDOOR_POT);
  EXPECT_TRUE(in) << SEALDOOR_POT;
  std::vector<Message> out;
  std::string line, field;
  Message current;
  const auto flush = [&] {
    if (!current.id.empty()) out.push_back(current);
    current = {};
  };
  while (std::getline(in, line)) {
    if (line.starts_with("msgid \"")) {
      flush();
      field = "id";
    } else if (line.starts_with("msgid_plural \"")) {
      field = "plural";
    } else if (line.starts_with("msgstr")) {
      field.clear();
    }
    const auto open = line.find('"');
    if (field.empty() || open == std::string::npos || line.back() != '"' || line.starts_with("#")) continue;
    const std::string text = Unescaped(line.substr(open + 1, line.size() - open - 2));
    (field == "id" ? current.id : current.plural) += text;
  }
  flush();
  return out;
}

std::set<std::string> Placeholders(std::string_view text) {
  static const std::regex placeholder(R"(\{[a-z_]+\})");
  std::set<std::string> out;
  const std::string s(text);
  for (auto it = std::sregex_iterator(s.begin(), s.end(), placeholder); it != std::sregex_iterator(); ++it)
    out.insert(it->str());
  return out;
}

Catalogue Compiled(const std::string& language) {
  auto c = Catalogue::Read(CatalogueFile(SEALDOOR_LOCALE_DIR, language));
  EXPECT_TRUE(c.has_value()) << language << ": " << (c ? "" : c.error());
  if (!c) std::abort();
  return std::move(*c);
}

TEST(Catalogues, EveryLanguageHasEveryTextWithItsPlaceholders) {
  const auto messages = TemplateMessages();
  ASSERT_GT(messages.size(), 150u);
  const auto languages = test::Languages();
  ASSERT_EQ(languages.size(), 9u);
  for (const auto& language : languages) {
    SCOPED_TRACE(language);
    const Catalogue c = Compiled(language);
    for (const auto& m : messages) {
      SCOPED_TRACE(m.id);
      const auto forms = c.Forms(m.id);
      ASSERT_FALSE(forms.empty()) << "not translated";
      std::set<std::string> wanted = Placeholders(m.id);
      if (!m.plural.empty()) {
        EXPECT_EQ(forms.size(), c.Plurals().Count()) << "a form for each of the language's plural forms";
        wanted.merge(Placeholders(m.plural));
      } else {
        EXPECT_EQ(forms.size(), 1u);
      }
      for (const auto form : forms) {
        EXPECT_FALSE(form.empty());
        EXPECT_EQ(Placeholders(form), wanted) << form;
        // The product's name, the status line's opening line break, the
        // usage texts' closing one.
        if (m.id.find("Sealdoor") != std::string::npos) {
          EXPECT_NE(form.find("Sealdoor"), std::string::npos) << form;
        }
        if (m.id.starts_with("\n\r")) {
          EXPECT_TRUE(form.starts_with("\n\r")) << form;
        }
        EXPECT_EQ(m.id.ends_with('\n'), form.ends_with('\n')) << form;
      }
    }
  }
}

TEST(Catalogues, PluralFormsFollowEachLanguage) {
  // The form "{n} file" takes for 1, 2, 5, 11, 21, 22 and 112.
  const std::map<std::string, std::vector<std::string>> expected = {
      {"de", {"1 Datei", "2 Dateien", "5 Dateien", "11 Dateien", "21 Dateien", "22 Dateien", "112 Dateien"}},
      {"fr", {"1 fichier", "2 fichiers", "5 fichiers", "11 fichiers", "21 fichiers", "22 fichiers", "112 fichiers"}},
      {"pl", {"1 plik", "2 pliki", "5 plików", "11 plików", "21 plików", "22 pliki", "112 plików"}},
      {"ru", {"1 файл", "2 файла", "5 файлов", "11 файлов", "21 файл", "22 файла", "112 файлов"}},
      {"ja", {"1 個のファイル", "2 個のファイル", "5 個のファイル", "11 個のファイル", "21 個のファイル",
              "22 個のファイル", "112 個のファイル"}},
  };
  const std::uint64_t counts[] = {1, 2, 5, 11, 21, 22, 112};
  for (const auto& [language, forms] : expected) {
    const Catalogue c = Compiled(language);
    for (std::size_t i = 0; i < forms.size(); ++i) {
      const auto form = c.FindPlural("{n} file", counts[i]);
      ASSERT_TRUE(form) << language;
      EXPECT_EQ(Fill(*form, {{"n", std::to_string(counts[i])}}), forms[i]) << language << " " << counts[i];
    }
  }
}

TEST(Catalogues, DamagedFilesAreRefusedNeverReadPastTheirEnd) {
  std::ifstream in(CatalogueFile(SEALDOOR_LOCALE_DIR, "de"), std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_TRUE(Catalogue::Parse(whole));
  // Every cut before the last text's end, and bytes changed in the tables.
  for (std::size_t size = 0; size + 1 < whole.size(); size += 1 + size / 7)
    EXPECT_FALSE(Catalogue::Parse(whole.substr(0, size))) << size;
  for (std::size_t at = 8; at < 28; ++at) {
    std::string damaged = whole;
    damaged[at] = static_cast<char>(0xff);
    (void)Catalogue::Parse(damaged);  // refused or read within its bytes (the sanitizers watch)
  }
  EXPECT_FALSE(Catalogue::Parse(std::string(64, 'x')));
}

TEST(PluralRules, ReadAsGettextWritesThem) {
  struct Case {
    const char* header;
    std::vector<unsigned> forms;  // for 0, 1, 2, 5, 11, 21, 22, 101
  };
  const Case cases[] = {
      {"nplurals=2; plural=(n != 1);", {1, 0, 1, 1, 1, 1, 1, 1}},
      {"nplurals=2; plural=(n > 1);", {0, 0, 1, 1, 1, 1, 1, 1}},
      {"nplurals=1; plural=0;", {0, 0, 0, 0, 0, 0, 0, 0}},
      {"nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);",
       {2, 0, 1, 2, 2, 0, 1, 0}},
      {"nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);",
       {2, 0, 1, 2, 2, 2, 1, 2}},
      // A rule that names a form it does not have, or divides by zero: the first.
      {"nplurals=2; plural=n+5;", {0, 0, 0, 0, 0, 0, 0, 0}},
      {"nplurals=2; plural=1/n;", {0, 1, 0, 0, 0, 0, 0, 0}},
  };
  const std::uint64_t numbers[] = {0, 1, 2, 5, 11, 21, 22, 101};
  for (const auto& c : cases) {
    const auto rule = PluralRule::Parse(c.header);
    ASSERT_TRUE(rule) << c.header;
    for (std::size_t i = 0; i < c.forms.size(); ++i) EXPECT_EQ(rule->Index(numbers[i]), c.forms[i]) << c.header << " " << numbers[i];
  }
  for (const char* bad : {"", "nplurals=0; plural=0;", "nplurals=7; plural=n;", "nplurals=2; plural=(n;",
                          "nplurals=2; plural=n ? ;", "nplurals=2; plural=x;"})
    EXPECT_FALSE(PluralRule::Parse(bad)) << bad;
  std::string deep = "nplurals=2; plural=";
  for (int i = 0; i < 5000; ++i) deep += "(";
  EXPECT_FALSE(PluralRule::Parse(deep));
}

TEST(UserLanguages, TheEnvironmentAsGettextReadsIt) {
  struct Case {
    std::map<std::string, std::string> env;
    std::vector<Language> languages;
  };
  const Case cases[] = {
      {{}, {}},
      {{{"LANG", "C"}}, {}},
      {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}}, {}},  // the C locale reads no LANGUAGE
      {{{"LANG", "POSIX"}}, {}},
      {{{"LANG", "de_DE.UTF-8"}}, {"de_DE", "de"}},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "C.UTF-8"}}, {}},
      {{{"LANG", "C"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}, {"fr_FR", "fr"}},
      {{{"LC_MESSAGES", "fr_FR"}, {"LC_ALL", "ru_RU.UTF-8"}}, {"ru_RU", "ru"}},
      {{{"LANG", "pt_BR.UTF-8"}}, {"pt_BR", "pt"}},
      {{{"LANG", "sr_RS.UTF-8@latin"}}, {"sr_RS@latin", "sr_RS", "sr@latin", "sr"}},
      {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "ja:fr"}}, {"ja", "fr"}},
      {{{"LANGUAGE", "pl"}}, {"pl"}},  // no locale named at all
      {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "en:de"}}, {"en", "de"}},
      {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "C:de"}}, {"en", "de"}},
      // Never a name that leads out of the catalogues' folder.
      {{{"LANG", "../../etc.UTF-8"}}, {}},
      {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "../x:de/..:it"}}, {"it"}},
  };
  for (const auto& c : cases) {
    const auto got = LanguagesFromEnvironment([&](const char* name) -> const char* {
      const auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    });
    std::string shown;
    for (const auto& [k, v] : c.env) shown += k + "=" + v + " ";
    EXPECT_EQ(got, c.languages) << shown;
  }
}

TEST(UserLanguages, WindowsNames) {
  EXPECT_EQ(LanguagesFromWindowsNames({"de-DE", "en-US"}), (std::vector<Language>{"de_DE", "de", "en_US", "en"}));
  EXPECT_EQ(LanguagesFromWindowsNames({"pt-BR"}), (std::vector<Language>{"pt_BR", "pt"}));
  EXPECT_EQ(LanguagesFromWindowsNames({"zh-Hans-CN"}), (std::vector<Language>{"zh_CN", "zh"}));
  EXPECT_EQ(LanguagesFromWindowsNames({"zh-Hans"}), (std::vector<Language>{"zh_CN", "zh"}));
  EXPECT_EQ(LanguagesFromWindowsNames({"zh-Hant-TW"}), (std::vector<Language>{"zh_TW", "zh"}));
  EXPECT_EQ(LanguagesFromWindowsNames({"ja"}), (std::vector<Language>{"ja"}));
  EXPECT_EQ(LanguagesFromWindowsNames({""}), (std::vector<Language>{}));
}

// The choice at the first text, from the environment: POSIX only (Windows
// asks the user's settings, which a test does not change).
#ifndef _WIN32
class Environment {
 public:
  explicit Environment(const std::map<std::string, std::string>& values) {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
      if (const char* v = std::getenv(name)) saved_[name] = v;
      ::unsetenv(name);
    }
    for (const auto& [k, v] : values) ::setenv(k.c_str(), v.c_str(), 1);
    UseCatalogueFolders({SEALDOOR_LOCALE_DIR});
  }
  ~Environment() {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) ::unsetenv(name);
    for (const auto& [k, v] : saved_) ::setenv(k.c_str(), v.c_str(), 1);
    UseCatalogue(std::nullopt);
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

 private:
  std::map<std::string, std::string> saved_;
};

TEST(UserLanguages, UnderCAndEnglishEveryTextIsTheSources) {
  const auto messages = TemplateMessages();
  const std::map<std::string, std::string> settings[] = {
      {},
      {{"LANG", "C"}},
      {{"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}},
      {{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "POSIX"}},
      {{"LANG", "en_US.UTF-8"}},
      {{"LANG", "en_GB.UTF-8"}},
      {{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "en_US:de"}},
  };
  for (const auto& s : settings) {
    const Environment env(s);
    EXPECT_EQ(ActiveCatalogue(), nullptr);
    EXPECT_EQ(ActiveLanguage(), "");
    for (const auto& m : messages) {
      EXPECT_EQ(Tr(m.id), m.id);
      if (!m.plural.empty()) {
        EXPECT_EQ(TrN(m.id, m.plural, 1), m.id);
        EXPECT_EQ(TrN(m.id, m.plural, 2), m.plural);
      }
    }
    EXPECT_EQ(Number(1234567), "1,234,567");
  }
}

TEST(UserLanguages, TheFirstLanguageWithACatalogueSpeaks) {
  struct Case {
    std::map<std::string, std::string> env;
    std::string language, invalidPassword, thousands;
  };
  const Case cases[] = {
      {{{"LANG", "de_DE.UTF-8"}}, "de", "Falsches Passwort !", "1.234.567"},
      {{{"LANG", "C"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}, "fr", "Mot de passe incorrect !", "1\u202f234\u202f567"},
      {{{"LANG", "pt_BR.UTF-8"}}, "pt_BR", "Senha inválida !", "1.234.567"},
      {{{"LANG", "pt_PT.UTF-8"}}, "", "Invalid password !", "1,234,567"},  // no Portuguese of Portugal
      {{{"LANG", "zh_CN.UTF-8"}}, "zh_CN", "密码错误 !", "1,234,567"},
      {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "sv:ru:de"}}, "ru", "Неверный пароль !", "1\u00a0234\u00a0567"},
      {{{"LANGUAGE", "ja"}}, "ja", "パスワードが違います !", "1,234,567"},
  };
  for (const auto& c : cases) {
    const Environment env(c.env);
    EXPECT_EQ(ActiveLanguage(), c.language);
    EXPECT_EQ(Tr("Invalid password !"), c.invalidPassword);
    EXPECT_EQ(Number(1234567), c.thousands);
  }
}
#endif

}  // namespace
}  // namespace sealdoor::text
