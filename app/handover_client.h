#pragma once
// The second launch's side of the hand-over.

#include <string>

#include "handover_message.h"

namespace sealdoor::app {

// Hands `arrival` to the first copy: on Linux the one listening in
// `folder` (the private folder of its lock), on Windows the window of this
// session. True once the first copy has taken it; it may still be starting,
// so this waits a few seconds for it.
[[nodiscard]] bool HandOver(const std::string& folder, const Arrival& arrival);

// Where the first copy listens in its folder.
[[nodiscard]] std::string HandoverSocket(const std::string& folder);

}  // namespace sealdoor::app
