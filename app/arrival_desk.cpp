#include "arrival_desk.h"

#include <algorithm>
#include <utility>

namespace sealdoor::app {

ArrivalDesk::ArrivalDesk(Front front, Files files, Wake wake)
    : front_(std::move(front)), files_(std::move(files)), wake_(std::move(wake)) {}

void ArrivalDesk::Accept(Arrival arrival) {
  if (front_) front_();
  // Without files and without an action, the window only comes forward.
  if (arrival.paths.empty() && !arrival.action) return;
  gatherer_.Add(std::move(arrival), ArrivalGatherer::Clock::now());
  Schedule();
}

void ArrivalDesk::DeliverDue() {
  for (const Arrival& arrival : gatherer_.Take(ArrivalGatherer::Clock::now()))
    if (files_) files_(arrival);
  Schedule();
}

void ArrivalDesk::Schedule() {
  if (const auto due = gatherer_.Due()) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - ArrivalGatherer::Clock::now());
    wake_(std::max(wait, std::chrono::milliseconds(0)));
  }
}

}  // namespace sealdoor::app
