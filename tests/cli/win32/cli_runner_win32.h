#pragma once
// Another program of ours run as RunCli runs sealdoor-cli.exe: a build of
// the tool made for a test.

#include "../cli_runner.h"

namespace sealdoor::test {

CliResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::string& input = {}, const std::filesystem::path& folder = {},
                     std::optional<std::chrono::microseconds> interruptAfter = std::nullopt);

}  // namespace sealdoor::test
