#pragma once
#include <string>
#include <vector>

#include "engine/commit_group.h"

namespace sealdoor::cli {

// What a run takes besides its arguments; the defaults are the tool's.
struct CliSettings {
  // How many new versions wait to be made durable together. Tests that
  // kill runs ask for small groups, so that kills fall between commits.
  CommitGroup::Limits groups = CommitGroup::DefaultLimits();
};

// The whole command line tool, from its arguments (UTF-8, without the
// program's name) to its exit status.
int RunCli(const std::vector<std::string>& args, const CliSettings& settings = {});

}  // namespace sealdoor::cli
