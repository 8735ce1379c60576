#include "terminal.h"

#include <glib.h>

#include <array>
#include <utility>

namespace sealdoor::shell {

std::string TerminalPrefix() {
  // Each with the option after which the command and its arguments follow.
  static constexpr std::array<std::pair<const char*, const char*>, 6> kTerminals{{
      {"x-terminal-emulator", "-e"},
      {"gnome-terminal", "--"},
      {"konsole", "-e"},
      {"xfce4-terminal", "-x"},
      {"mate-terminal", "-x"},
      {"xterm", "-e"},
  }};
  for (const auto& [program, option] : kTerminals) {
    if (gchar* found = g_find_program_in_path(program)) {
      g_free(found);
      return std::string(program) + " " + option + " ";
    }
  }
  return {};
}

}  // namespace sealdoor::shell
