#include "thunar_actions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QXmlStreamReader>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "text/tr.h"

namespace sealdoor::app {
namespace fs = std::filesystem;
namespace {

struct Ours {
  const char* id;
  const char* name;
  const char* option;
  const char* description;
};
constexpr Ours kActions[] = {
    {"sealdoor-lock", text::N("Lock with Sealdoor"), "--lock",
     text::N("Lock the selected files and folders with a password")},
    {"sealdoor-unlock", text::N("Unlock with Sealdoor"), "--unlock", text::N("Unlock the selected files and folders")},
};

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

// The program as one word of a command line Thunar splits as a shell would.
std::string Word(std::string_view program) {
  if (program.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+") ==
      std::string_view::npos)
    return std::string(program);
  std::string out = "'";
  for (const char c : program) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ActionXml(const Ours& a, std::string_view program) {
  return std::string("<action>\n") +
         "\t<icon>sealdoor</icon>\n"
         "\t<name>" + Escaped(text::Tr(a.name)) + "</name>\n"
         "\t<submenu></submenu>\n"
         "\t<unique-id>" + a.id + "</unique-id>\n"
         "\t<command>" + Escaped(Word(program)) + " " + a.option + " %F</command>\n"
         "\t<description>" + Escaped(text::Tr(a.description)) + "</description>\n"
         "\t<range>*</range>\n"
         "\t<patterns>*</patterns>\n"
         "\t<directories/>\n"
         "\t<audio-files/>\n"
         "\t<image-files/>\n"
         "\t<other-files/>\n"
         "\t<text-files/>\n"
         "\t<video-files/>\n"
         "</action>\n";
}

// What a file of Thunar's actions holds, read by an XML parser: the ids of
// its actions, in order (an action without one counts with an empty id).
struct Listed {
  std::vector<std::string> ids;
  std::size_t Count(std::string_view id) const {
    std::size_t n = 0;
    for (const auto& i : ids) n += i == id;
    return n;
  }
  std::size_t Others() const {
    std::size_t n = ids.size();
    for (const Ours& a : kActions) n -= Count(a.id);
    return n;
  }
};

std::expected<Listed, std::string> ReadActions(std::string_view text) {
  QXmlStreamReader xml(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  Listed listed;
  int depth = 0;
  bool inId = false;
  while (!xml.atEnd()) {
    switch (xml.readNext()) {
      case QXmlStreamReader::StartElement:
        ++depth;
        if (depth == 1 && xml.name() != QLatin1String("actions")) {
          return std::unexpected(text::Fill(text::Tr("its outermost element is <{element}>, not <actions>"),
                                            {{"element", xml.name().toString().toStdString()}}));
        }
        if (depth == 2 && xml.name() == QLatin1String("action")) listed.ids.emplace_back();
        inId = depth == 3 && xml.name() == QLatin1String("unique-id") && !listed.ids.empty();
        break;
      case QXmlStreamReader::EndElement:
        --depth;
        inId = false;
        break;
      case QXmlStreamReader::Characters:
        if (inId) listed.ids.back() += xml.text().toString().trimmed().toStdString();
        break;
      default:
        break;
    }
  }
  if (xml.hasError()) {
    // Qt's own words for what is wrong.
    return std::unexpected(text::Fill(text::Tr("line {line}, column {column}: {error}"),
                                      {{"line", std::to_string(xml.lineNumber())},
                                       {"column", std::to_string(xml.columnNumber())},
                                       {"error", xml.errorString().toStdString()}}));
  }
  return listed;
}

// Read errors: an errno, or this for a file that is no regular file.
constexpr int kNotRegular = -1;

std::string ErrorText(int err) {
  return err == kNotRegular ? text::Tr("it is not a regular file") : std::generic_category().message(err);
}

// The whole of a regular file; never waits on a pipe or a device.
std::expected<std::string, int> ReadFile(const fs::path& file, struct stat& st) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::unexpected(errno);
  std::string text;
  int err = 0;
  if (::fstat(fd, &st) != 0) {
    err = errno;
  } else if (!S_ISREG(st.st_mode)) {
    err = kNotRegular;
  } else {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        err = errno;
        break;
      }
    }
  }
  ::close(fd);
  if (err != 0) return std::unexpected(err);
  return text;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool Same(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

constexpr const char* kCannotMerge = text::N("its actions are laid out in a way Sealdoor cannot merge into safely");

}  // namespace

std::expected<std::string, std::string> MergeThunarActions(std::string_view uca, std::string_view program) {
  std::string text(uca);
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";
  }
  const auto before = ReadActions(text);
  if (!before) return std::unexpected(before.error());
  if (const std::size_t empty = text.rfind("<actions/>"); empty != std::string::npos)
    text.replace(empty, std::string_view("<actions/>").size(), "<actions>\n</actions>");
  if (text.rfind("</actions>") == std::string::npos) return std::unexpected(text::Tr(kCannotMerge));
  for (const Ours& a : kActions) {
    const std::string block = ActionXml(a, program);
    const std::string id = std::string("<unique-id>") + a.id + "</unique-id>";
    const std::size_t at = text.find(id);
    if (at != std::string::npos) {
      const std::size_t begin = text.rfind("<action>", at);
      std::size_t end = text.find("</action>", at);
      if (begin != std::string::npos && end != std::string::npos) {
        end += std::string_view("</action>").size();
        if (end < text.size() && text[end] == '\n') ++end;
        text.replace(begin, end - begin, block);
        continue;
      }
    }
    text.insert(text.rfind("</actions>"), block);  // found above: our blocks hold none
  }
  // What came out is read back: ours once each, theirs all still there.
  // A layout the plain text edit above gets wrong (an id of ours in a
  // comment, an action of ours twice) is refused, not written.
  const auto after = ReadActions(text);
  bool sound = after && after->Others() == before->Others();
  for (const Ours& a : kActions) sound = sound && after->Count(a.id) == 1;
  if (!sound) return std::unexpected(text::Tr(kCannotMerge));
  return text;
}

ThunarResult AddToThunar(const std::string& program) {
  fs::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
    config = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    config = fs::path(home) / ".config";
  else
    return {false, "sealdoor: " + text::Tr("no home folder to find Thunar's settings in")};
  const fs::path file = config / "Thunar" / "uca.xml";
  // `pattern` names the file {file}, and the system's reason {reason}.
  auto refuse = [&](const std::string& pattern, const std::string& reason = {}) {
    return ThunarResult{false, "sealdoor: " + text::Fill(pattern, {{"file", file.string()}, {"reason", reason}})};
  };

  // A link (a dotfiles folder's) stays a link: the file it leads to is the
  // one that gets the new text.
  fs::path target = file;
  std::error_code ec;
  struct stat link {};
  if (::lstat(file.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    target = fs::canonical(file, ec);
    if (ec)
      return refuse(text::Tr("{file} is a link to a file that cannot be reached ({reason}); it was left as it was, "
                             "and nothing was added."),
                    ec.message());
  }
  struct stat st {};
  bool exists = true;
  std::string before;
  if (auto text = ReadFile(target, st)) {
    before = std::move(*text);
  } else if (text.error() == ENOENT) {
    exists = false;
    // Thunar reads the system's actions only while the user has none of
    // their own: start from them, so none is lost (one Thunar itself
    // cannot read has nothing to lose).
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::istringstream list(dirs && *dirs ? dirs : "/etc/xdg");
    for (std::string dir; std::getline(list, dir, ':');) {
      struct stat system {};
      if (dir.empty()) continue;
      if (auto theirs = ReadFile(fs::path(dir) / "Thunar/uca.xml", system)) {
        if (ReadActions(*theirs)) before = std::move(*theirs);
        break;
      }
    }
  } else {
    return refuse(text::Tr("{file} could not be read ({reason}); it was left as it was, and nothing was added."),
                  ErrorText(text.error()));
  }

  auto merged = MergeThunarActions(before, program);
  if (!merged) {
    return refuse(text::Tr("{file} is not a list of Thunar's actions that Sealdoor can read ({reason}); it was left "
                           "as it was, and nothing was added. Correct it or move it away, then run sealdoor "
                           "--add-to-thunar again."),
                  merged.error());
  }
  if (exists && *merged == before)
    return {true, text::Fill(text::Tr("Thunar's menu already has \"{lock}\" and \"{unlock}\"."),
                             {{"lock", text::Tr(kActions[0].name)}, {"unlock", text::Tr(kActions[1].name)}})};

  // The new text goes to a file of its own beside the old one, with the
  // old one's mode and owner, reaches the disk, and only then takes its
  // place in one step: at every moment the file is the old text or the new.
  const fs::path folder = target.parent_path();
  if (!exists) fs::create_directories(folder, ec);
  std::string name = (folder / ".uca.xml.XXXXXX").string();
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0)
    return refuse(text::Tr("{file} could not be written ({reason}); it was left as it was, and nothing was added."),
                  ErrorText(errno));
  mode_t mode = st.st_mode & 07777;
  if (!exists) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  int err = 0;
  if (!WriteAll(fd, *merged)) err = errno ? errno : EIO;
  if (err == 0 && ::fchmod(fd, mode) != 0) err = errno;
  if (err == 0 && exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
      ::fchown(fd, st.st_uid, st.st_gid) != 0)
    err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  // Changed meanwhile (Thunar saving its own): theirs stays.
  struct stat now {};
  const bool there = ::stat(target.c_str(), &now) == 0;
  if (err == 0 && (exists ? !there || !Same(now, st) : there)) {
    ::unlink(name.c_str());
    return refuse(text::Tr("{file} changed while Sealdoor was adding to it; it was left as it was, and nothing was "
                           "added. Run sealdoor --add-to-thunar again."));
  }
  if (err == 0 && ::rename(name.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(name.c_str());
    return refuse(text::Tr("{file} could not be written ({reason}); it was left as it was, and nothing was added."),
                  ErrorText(err));
  }
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return {true, text::Fill(text::Tr("Added \"{lock}\" and \"{unlock}\" to Thunar's menu ({file}); they show from "
                                    "Thunar's next start."),
                           {{"lock", text::Tr(kActions[0].name)},
                            {"unlock", text::Tr(kActions[1].name)},
                            {"file", file.string()}})};
}

}  // namespace sealdoor::app
