#include "command_line.h"

namespace sealdoor::shell {

std::string ShellQuote(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

std::vector<std::string> CommandArguments(std::string_view prefix, std::string_view path) {
  std::vector<std::string> args;
  std::string current;
  bool inToken = false;
  bool quoted = false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = prefix[i];
    if (quoted) {
      if (c == '\\' && i + 1 < prefix.size() &&
          (prefix[i + 1] == '"' || prefix[i + 1] == '`' || prefix[i + 1] == '$' || prefix[i + 1] == '\\')) {
        current += prefix[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        current += c;
      }
    } else if (c == ' ' || c == '\t') {
      if (inToken) args.push_back(std::move(current));
      current.clear();
      inToken = false;
    } else if (c == '"') {
      quoted = true;
      inToken = true;
    } else {
      current += c;
      inToken = true;
    }
  }
  const bool forwarded = !inToken && !args.empty() && (args.back() == "@@" || args.back() == "@@u");
  if (quoted) {
    // The path stands inside a quoted argument, such as the script of
    // `sh -c "cat %f"`: it goes in quoted for a shell, as GLib's launcher
    // does, so no part of a file's name is ever run as a command.
    current += ShellQuote(path);
  } else {
    current += path;
  }
  args.push_back(std::move(current));
  if (forwarded) args.emplace_back("@@");
  return args;
}

}  // namespace sealdoor::shell
