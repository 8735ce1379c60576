#include "system_folders.h"

#include "module2.h"

namespace sealdoor::shell {

std::string ExpandSystemRoot(const std::string& command, const std::string& windowsFolder) {
  if (!command.starts_with("%SystemRoot%")) return command;
  return windowsFolder + command.substr(12);
}

void GetSystemFolders() {
  Module2::TempFolder = TemporaryFolder();
  Module2::WindowsFolder = SystemRootFolder();
}

}  // namespace sealdoor::shell
