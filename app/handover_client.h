#pragma once
// The second launch's side of the hand-over.

#include <string>

#include "handover_message.h"

namespace sealdoor::app {

enum class HandoverResult {
  Taken,     // the first copy has the files
  TooLarge,  // more than one message holds: nothing was sent
  NotTaken,  // nobody answered in time, or the one who did refused
};

// Hands `arrival` to the first copy: on Linux the one listening at
// `address` (SingleInstance::Address()), on Windows the window of this
// session. It may still be starting, so this waits a few seconds for it.
[[nodiscard]] HandoverResult HandOver(const std::string& address, const Arrival& arrival);

}  // namespace sealdoor::app
