#include "xdg_fixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sealdoor::test {
namespace fs = std::filesystem;
namespace {

void Write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

}  // namespace

XdgFixture::XdgFixture() {
  std::string tmpl = (fs::temp_directory_path() / "sealdoor-xdg-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
  root_ = tmpl;
  const fs::path bin = root_ / "bin";
  const std::string recorder =
      "#!/bin/sh\n"
      "out=\"$SEALDOOR_RECORD\"\n"
      "printf '%s\\0' \"$(basename \"$0\")\" > \"$out.part\"\n"
      "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$out.part\"; done\n"
      "mv \"$out.part\" \"$out\"\n";
  Write(bin / "recorder", recorder);
  Write(bin / "x-terminal-emulator", recorder);
  Write(root_ / "bin dir" / "spaced recorder", recorder);
  for (const auto& p : {bin / "recorder", bin / "x-terminal-emulator", root_ / "bin dir" / "spaced recorder"})
    fs::permissions(p, fs::perms::owner_all);

  const fs::path home = root_ / "home";
  Write(home / "mime" / "globs2",
        "50:application/x-sdtest:*.sdtest\n"
        "50:application/x-sdterm:*.sdterm\n"
        "50:application/x-sdflat:*.sdflat\n"
        "50:application/x-sdquote:*.sdquote\n"
        "50:application/x-sdorphan:*.sdorphan\n");
  const std::string rec = Recorder().string();
  auto entry = [&](const std::string& id, const std::string& exec, const std::string& type, bool terminal) {
    Write(home / "applications" / id,
          "[Desktop Entry]\nType=Application\nName=" + id + "\nExec=" + exec + "\nMimeType=" + type +
              ";\nTerminal=" + (terminal ? "true" : "false") + "\n");
  };
  entry("rec.desktop", rec + " %f", "application/x-sdtest", false);
  entry("term.desktop", rec + " --edit %F", "application/x-sdterm", true);
  entry("flat.desktop", rec + " run --file-forwarding org.example.App @@u %U @@", "application/x-sdflat", false);
  entry("quote.desktop", "\"" + (root_ / "bin dir" / "spaced recorder").string() + "\" %u",
        "application/x-sdquote", false);
  Write(home / "applications" / "mimeinfo.cache",
        "[MIME Cache]\napplication/x-sdtest=rec.desktop;\napplication/x-sdterm=term.desktop;\n"
        "application/x-sdflat=flat.desktop;\napplication/x-sdquote=quote.desktop;\n");
  Write(root_ / "config" / "mimeapps.list",
        "[Default Applications]\napplication/x-sdtest=rec.desktop\napplication/x-sdterm=term.desktop\n"
        "application/x-sdflat=flat.desktop\napplication/x-sdquote=quote.desktop\n");
  fs::create_directories(root_ / "sys");
  fs::create_directories(root_ / "etc");
}

XdgFixture::~XdgFixture() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

std::map<std::string, std::string> XdgFixture::Environment() const {
  const char* path = std::getenv("PATH");
  return {
      {"XDG_DATA_HOME", (root_ / "home").string()},
      {"XDG_DATA_DIRS", (root_ / "sys").string()},
      {"XDG_CONFIG_HOME", (root_ / "config").string()},
      {"XDG_CONFIG_DIRS", (root_ / "etc").string()},
      {"XDG_CURRENT_DESKTOP", ""},
      {"PATH", (root_ / "bin").string() + ":" + (path ? path : "/usr/bin:/bin")},
      {"SEALDOOR_RECORD", RecordFile().string()},
  };
}

void XdgFixture::Apply() const {
  for (const auto& [k, v] : Environment()) ::setenv(k.c_str(), v.c_str(), 1);
}

std::vector<std::string> XdgFixture::Recorded() const {
  std::ifstream in(RecordFile(), std::ios::binary);
  if (!in) return {};
  const std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::string> out;
  std::string cur;
  for (const char c : all) {
    if (c == '\0') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  return out;
}

}  // namespace sealdoor::test
