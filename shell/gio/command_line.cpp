#include "command_line.h"

namespace sealdoor::shell {

namespace {

// Nothing in it that a shell reads specially in any kind of quoting.
bool Inert(std::string_view path) {
  for (const char c : path) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '_' || c == '-' || c == '/' || c == ' ';
    if (!plain) return false;
  }
  return !path.empty();
}

}  // namespace

std::expected<std::vector<std::string>, std::string> CommandArguments(std::string_view prefix,
                                                                      std::string_view path) {
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
  if (quoted && !Inert(path)) return std::unexpected(text::Tr(kUnsafeCommand));
  current += path;
  args.push_back(std::move(current));
  if (forwarded) args.emplace_back("@@");
  return args;
}

}  // namespace sealdoor::shell
