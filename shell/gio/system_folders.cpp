#include "shell/system_folders.h"

#include <cstdlib>
#include <filesystem>

namespace sealdoor::shell {

std::string SystemRootFolder() { return "/usr"; }

std::string InitialDialogFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  return "/";
}

}  // namespace sealdoor::shell
