#pragma once
#include <string>

namespace sealdoor::shell {

// What stands for "%SystemRoot%" (the Windows folder) here: /usr, the folder
// that holds the system's own programs (%SystemRoot%/bin/... finds them).
[[nodiscard]] std::string SystemRootFolder();

// A command whose first 12 characters are exactly "%SystemRoot%" with those
// replaced by `windowsFolder`; any other command unchanged.
[[nodiscard]] std::string ExpandSystemRoot(const std::string& command, const std::string& windowsFolder);

// The folder the open-file dialog starts in: the system drive's root ("C:\")
// on Windows, the home folder where there is no drive C.
[[nodiscard]] std::string InitialDialogFolder();

// The folders the program needs to know, fetched once at start-up.
struct SystemFolders {
  std::string windowsFolder;  // stands for "%SystemRoot%"
};
[[nodiscard]] SystemFolders GetSystemFolders();

}  // namespace sealdoor::shell
