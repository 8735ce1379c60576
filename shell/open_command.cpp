#include "open_command.h"


namespace sealdoor::shell {

std::string CutCommand(std::string_view command) {
  const auto npos = std::string_view::npos;
  auto upTo = [&](std::size_t at) { return std::string(command.substr(0, at + 1)); };
  // Every search is for the first occurrence; the kept part ends with the
  // character at which the match begins.
  if (const auto at = command.find(" \"%1"); at != npos) return upTo(at);  // space, quote, %1
  if (const auto at = command.find(" %1"); at != npos) return upTo(at);     // space, %1
  if (const auto at = command.find("\"%1"); at != npos) return upTo(at);   // quote, %1
  if (const auto at = command.find(" /"); at != npos) return upTo(at);      // a switch
  return {};
}

std::optional<OpenCommand> GetOpenCommand(const std::string& extension) {
  const ClassCommand command = CommandForClass(ClassForExtension(extension));
  std::string cut = CutCommand(command.line);
  if (cut.empty()) return std::nullopt;
  return OpenCommand{std::move(cut), command.terminalMissing};
}

}  // namespace sealdoor::shell
