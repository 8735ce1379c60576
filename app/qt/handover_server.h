#pragma once
// The first copy's side of the hand-over on Linux: the local socket its
// single-instance lock listens on. Only a process of the same user is
// heard; a message that is malformed, too large, slow or foreign is
// dropped, and nothing else happens.

#include <QLocalServer>
#include <QObject>
#include <QTimer>
#include <functional>

#include "app/arrival_desk.h"

class QWidget;

namespace sealdoor::ui {
class Form4;
}

namespace sealdoor::app {

class HandoverServer final : public QObject {
 public:
  using Front = ArrivalDesk::Front;
  using Files = ArrivalDesk::Files;

  // `listener`: the listening socket (SingleInstance::Listener(), which
  // keeps its own); `front` runs for every launch heard (it brings the
  // window forward); `files` for each gathering of files.
  HandoverServer(int listener, Front front, Files files);

  // Takes connections on the socket; false when there is none.
  bool Listen();
  // Files of this launch itself, gathered with the others.
  void Accept(Arrival arrival);

  // A short wait for a whole message; a connection that takes longer is dropped.
  static constexpr int kMessageMs = 5000;

 private:
  void OnConnection();

  int listener_;
  QLocalServer server_;
  QTimer timer_;
  ArrivalDesk desk_;
};

// What the window program does with a launch heard: its window to the
// front, the files to its behaviour.
[[nodiscard]] HandoverServer::Front BringForward(QWidget& window);
[[nodiscard]] HandoverServer::Files HandTo(ui::Form4& form);

}  // namespace sealdoor::app
