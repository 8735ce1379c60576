#include "shell/system_folders.h"

#include <cstdlib>
#include <filesystem>

namespace sealdoor::shell {

std::string TemporaryFolder() {
  std::string folder = "/tmp";
  if (const char* t = std::getenv("TMPDIR"); t && *t) {
    std::error_code ec;
    if (std::filesystem::is_directory(t, ec)) folder = t;
  }
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string SystemRootFolder() { return "/usr"; }

std::string InitialDialogFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  return "/";
}

}  // namespace sealdoor::shell
