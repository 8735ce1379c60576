#include "system_folders.h"

#include <cstdlib>
#include <filesystem>

#include "module2.h"

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

std::string ExpandSystemRoot(const std::string& command, const std::string& windowsFolder) {
  if (!command.starts_with("%SystemRoot%")) return command;
  return windowsFolder + command.substr(12);
}

void GetSystemFolders() {
  Module2::TempFolder = TemporaryFolder();
  Module2::WindowsFolder = SystemRootFolder();
}

}  // namespace sealdoor::shell
