#pragma once
// What the first copy does with each launch it hears, the same on every
// system: the window comes forward, and the files are gathered with those
// of launches close in time, then handed to the window once due. Only the
// timer that brings the due time round belongs to the system's event loop.

#include <chrono>
#include <functional>

#include "arrival_gatherer.h"

namespace sealdoor::app {

class ArrivalDesk {
 public:
  using Front = std::function<void()>;
  using Files = std::function<void(const Arrival&)>;
  // Asks the event loop to call DeliverDue once, this long from now (a
  // later request replaces an earlier one).
  using Wake = std::function<void(std::chrono::milliseconds)>;

  ArrivalDesk(Front front, Files files, Wake wake);

  // A launch heard, or this launch's own files.
  void Accept(Arrival arrival);
  // From the event loop alone, never from inside the handler that heard a
  // launch: a batch the files start runs the event loop itself.
  void DeliverDue();

 private:
  void Schedule();

  Front front_;
  Files files_;
  Wake wake_;
  ArrivalGatherer gatherer_;
};

}  // namespace sealdoor::app
