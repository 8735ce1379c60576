#include "thunar_actions.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

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
    {"sealdoor-lock", "Lock with Sealdoor", "--lock", "Lock the selected files and folders with a password"},
    {"sealdoor-unlock", "Unlock with Sealdoor", "--unlock", "Unlock the selected files and folders"},
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
         "\t<name>" + a.name + "</name>\n"
         "\t<submenu></submenu>\n"
         "\t<unique-id>" + a.id + "</unique-id>\n"
         "\t<command>" + Escaped(Word(program)) + " " + a.option + " %F</command>\n"
         "\t<description>" + a.description + "</description>\n"
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

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string MergeThunarActions(std::string_view uca, std::string_view program) {
  std::string text(uca);
  if (text.find("</actions>") == std::string::npos) text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";
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
    text.insert(text.rfind("</actions>"), block);
  }
  return text;
}

ThunarResult AddToThunar(const std::string& program) {
  fs::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
    config = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    config = fs::path(home) / ".config";
  else
    return {false, "sealdoor: no home folder to find Thunar's settings in"};
  const fs::path folder = config / "Thunar";
  const fs::path file = folder / "uca.xml";
  std::error_code ec;
  std::string before;
  if (fs::exists(file, ec)) {
    before = Read(file);
  } else {
    // Thunar reads the system's actions only while the user has none of
    // their own: start from them, so none is lost.
    std::string dirs = std::getenv("XDG_CONFIG_DIRS") ? std::getenv("XDG_CONFIG_DIRS") : "/etc/xdg";
    std::istringstream list(dirs);
    for (std::string dir; std::getline(list, dir, ':');)
      if (!dir.empty() && fs::exists(fs::path(dir) / "Thunar/uca.xml", ec)) {
        before = Read(fs::path(dir) / "Thunar/uca.xml");
        break;
      }
  }
  const std::string after = MergeThunarActions(before, program);
  if (after == before) return {true, "Thunar's menu already has \"Lock with Sealdoor\" and \"Unlock with Sealdoor\"."};
  fs::create_directories(folder, ec);
  const fs::path temporary = folder / ".uca.xml.sealdoor";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << after;
    out.flush();
    if (!out) {
      fs::remove(temporary, ec);
      return {false, "sealdoor: " + file.string() + " could not be written"};
    }
  }
  fs::rename(temporary, file, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return {false, "sealdoor: " + file.string() + " could not be written: " + ec.message()};
  }
  return {true, "Added \"Lock with Sealdoor\" and \"Unlock with Sealdoor\" to Thunar's menu (" + file.string() +
                    "); they show from Thunar's next start."};
}

}  // namespace sealdoor::app
