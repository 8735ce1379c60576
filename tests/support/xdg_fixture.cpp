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
  // GIO takes only entries whose program exists: one at "%SystemRoot%/bin"
  // below the folder a scenario runs in.
  Write(root_ / "%SystemRoot%" / "bin" / "recorder", recorder);
  for (const auto& p : {bin / "recorder", bin / "x-terminal-emulator", root_ / "bin dir" / "spaced recorder",
                        root_ / "%SystemRoot%" / "bin" / "recorder"})
    fs::permissions(p, fs::perms::owner_all);

  const fs::path home = root_ / "home";
  Write(home / "mime" / "globs2",
        "50:application/x-sdtest:*.sdtest\n"
        "50:application/x-sdterm:*.sdterm\n"
        "50:application/x-sdflat:*.sdflat\n"
        "50:application/x-sdquote:*.sdquote\n"
        "50:application/x-sdorphan:*.sdorphan\n"
        "50:application/x-sdfields:*.sdfields\n"
        "50:application/x-sdroot:*.sdroot\n"
        "50:application/x-sdbatch:*.bat\n"
        // Types a name gives without an extension, as the system's database
        // has them: these must not be taken for an extension's.
        "50:text/x-sdreadme:README\n"
        "50:text/x-sdmake:Makefile\n");
  const std::string rec = Recorder().string();
  auto entry = [&](const std::string& id, const std::string& exec, const std::string& type, bool terminal,
                   const std::string& name = "", const std::string& icon = "") {
    Write(home / "applications" / id,
          "[Desktop Entry]\nType=Application\nName=" + (name.empty() ? id : name) + "\nExec=" + exec +
              "\nMimeType=" + type + ";\nTerminal=" + (terminal ? "true" : "false") + "\n" +
              (icon.empty() ? "" : "Icon=" + icon + "\n"));
  };
  entry("rec.desktop", rec + " %f", "application/x-sdtest", false);
  entry("term.desktop", rec + " --edit %F", "application/x-sdterm", true);
  entry("flat.desktop", rec + " run --file-forwarding org.example.App @@u %U @@", "application/x-sdflat", false);
  entry("quote.desktop", "\"" + (root_ / "bin dir" / "spaced recorder").string() + "\" %u",
        "application/x-sdquote", false);
  entry("fields.desktop", rec + " --name %c --from %k %i %d %f --size=50%", "application/x-sdfields", false,
        "My Editor", "accessories-text-editor");
  entry("root.desktop", "%SystemRoot%/bin/recorder %f", "application/x-sdroot", false);
  entry("text.desktop", rec + " %f", "text/x-sdreadme;text/x-sdmake", false);
  entry("batch.desktop", rec + " --view %f", "application/x-sdbatch", false);
  Write(home / "applications" / "mimeinfo.cache",
        "[MIME Cache]\napplication/x-sdtest=rec.desktop;\napplication/x-sdterm=term.desktop;\n"
        "application/x-sdflat=flat.desktop;\napplication/x-sdquote=quote.desktop;\n"
        "application/x-sdfields=fields.desktop;\napplication/x-sdroot=root.desktop;\n"
        "text/x-sdreadme=text.desktop;\ntext/x-sdmake=text.desktop;\napplication/x-sdbatch=batch.desktop;\n");
  Write(root_ / "config" / "mimeapps.list",
        "[Default Applications]\napplication/x-sdtest=rec.desktop\napplication/x-sdterm=term.desktop\n"
        "application/x-sdflat=flat.desktop\napplication/x-sdquote=quote.desktop\n"
        "application/x-sdfields=fields.desktop\napplication/x-sdroot=root.desktop\n"
        "text/x-sdreadme=text.desktop\ntext/x-sdmake=text.desktop\napplication/x-sdbatch=batch.desktop\n");
  // Programs a sparse desktop has, to run the recorder with, but no terminal.
  for (const char* tool : {"basename", "mv"}) {
    fs::create_directories(root_ / "tools");
    fs::create_symlink(fs::path("/usr/bin") / tool, root_ / "tools" / tool);
  }
  fs::create_directories(root_ / "sys");
  fs::create_directories(root_ / "etc");
}

XdgFixture::~XdgFixture() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

void XdgFixture::RemoveTerminals() {
  fs::remove(root_ / "bin" / "x-terminal-emulator");
  noTerminal_ = true;
}

std::map<std::string, std::string> XdgFixture::Environment() const {
  const char* systemPath = std::getenv("PATH");
  const std::string path = noTerminal_ ? (root_ / "tools").string() : systemPath ? systemPath : "/usr/bin:/bin";
  return {
      {"XDG_DATA_HOME", (root_ / "home").string()},
      {"XDG_DATA_DIRS", (root_ / "sys").string()},
      {"XDG_CONFIG_HOME", (root_ / "config").string()},
      {"XDG_CONFIG_DIRS", (root_ / "etc").string()},
      {"XDG_CURRENT_DESKTOP", ""},
      {"PATH", (root_ / "bin").string() + ":" + path},
      {"SEALDOOR_RECORD", RecordFile().string()},
  };
}

void XdgFixture::Apply() const {
  for (const auto& [k, v] : Environment()) ::setenv(k.c_str(), v.c_str(), 1);
  std::filesystem::current_path(root_);
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
