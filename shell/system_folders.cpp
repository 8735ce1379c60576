#include "system_folders.h"


namespace sealdoor::shell {

std::string ExpandSystemRoot(const std::string& command, const std::string& windowsFolder) {
  if (!command.starts_with("%SystemRoot%")) return command;
  return windowsFolder + command.substr(12);
}

SystemFolders GetSystemFolders() { return {SystemRootFolder()}; }

}  // namespace sealdoor::shell
