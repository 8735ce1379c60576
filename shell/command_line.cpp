#include "command_line.h"

namespace sealdoor::shell {

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
  current += path;
  args.push_back(std::move(current));
  if (forwarded) args.emplace_back("@@");
  return args;
}

}  // namespace sealdoor::shell
