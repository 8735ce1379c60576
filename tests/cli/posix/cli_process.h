#pragma once
// sealdoor-cli running in the background as another process, with the
// password on its standard input: to be killed, raced, or waited for.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sealdoor::test {

// `op` on `names` (relative to `folder`, the process's working folder).
// With `filesPerGroup`, the tool commits its new versions in groups of
// that many files.
pid_t StartCli(const std::string& op, const std::filesystem::path& folder, const std::vector<std::string>& names,
               const std::string& password, std::size_t filesPerGroup = 0);
pid_t StartCli(const std::string& op, const std::filesystem::path& file, const std::string& password);

// Its exit status, 128 + the signal that ended it.
int WaitCli(pid_t pid);

}  // namespace sealdoor::test
