#pragma once
#include <string>

namespace sealdoor::shell {

// The temporary folder: $TMPDIR when it names a folder, else /tmp, always
// with a trailing "/".
[[nodiscard]] std::string TemporaryFolder();

// What stands for "%SystemRoot%" (the Windows folder) here: /usr, the folder
// that holds the system's own programs (%SystemRoot%/bin/... finds them).
[[nodiscard]] std::string SystemRootFolder();

// Fills Module2::TempFolder and Module2::WindowsFolder, once, at start-up.
void GetSystemFolders();

}  // namespace sealdoor::shell
