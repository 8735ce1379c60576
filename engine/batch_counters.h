#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "file_identity.h"

namespace sealdoor {

// The batch's overall progress: the dispatcher sets both before a batch, the
// engine adds a line per content line and lowers the total for a refused
// file. Doubles, so a total of any size fits.
struct BatchCounters {
  double TotalLines = 0;
  double LinesDone = 0;
};

// The files of a batch, each once, and the counters it starts with.
struct BatchFiles {
  // The paths given, in order, less each that leads to a file named
  // before it: the same path twice, "f" and "./f", a link and its file, a
  // file seen through a bind mount.
  std::vector<std::string> paths;
  // The byte total of those files divided by 54 (remainder dropped),
  // nothing done. A file whose length cannot be read adds nothing.
  BatchCounters counters;
  // Which of the given paths were kept (by their place in the list given).
  std::vector<std::size_t> kept;
};

// One look at each path (UTF-8 text); a path that cannot be looked at stays,
// for the engine to say why.
// Where `known` has what a walk saw of a path's file (by the same place in
// the list), that stands for the look.
[[nodiscard]] BatchFiles PrepareBatch(std::span<const std::string> paths,
                                      std::span<const std::optional<FileFacts>> known = {});

}  // namespace sealdoor
