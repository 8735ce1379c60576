#include "handover_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLocalSocket>
#include <QWidget>
#include <chrono>
#include <cstdint>

#include "ui/form4.h"

namespace sealdoor::app {
namespace {

// The peer is a process of our own user.
bool OurUser(const QLocalSocket& socket) {
  ucred peer{};
  socklen_t len = sizeof peer;
  return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &len) == 0 &&
         peer.uid == ::geteuid();
}

}  // namespace

HandoverServer::HandoverServer(int listener, Front front, Files files)
    : listener_(listener), front_(std::move(front)), files_(std::move(files)) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &HandoverServer::DeliverDue);
  connect(&server_, &QLocalServer::newConnection, this, &HandoverServer::OnConnection);
}

bool HandoverServer::Listen() {
  if (listener_ < 0) return false;
  // A duplicate, which the server closes as its own.
  const int fd = ::fcntl(listener_, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return false;
  if (server_.listen(fd)) return true;
  ::close(fd);
  return false;
}

void HandoverServer::OnConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!OurUser(*socket)) {
      socket->abort();
      continue;
    }
    QTimer::singleShot(kMessageMs, socket, [socket] { socket->abort(); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      // A length (4 bytes, little-endian), then exactly that many bytes.
      const QByteArray& got = socket->peek(socket->bytesAvailable());
      if (got.size() < 4) return;
      const auto* b = reinterpret_cast<const unsigned char*>(got.constData());
      const std::uint32_t size = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
      if (size > kMaxMessageBytes || static_cast<std::uint64_t>(got.size()) > 4ull + size) {
        socket->abort();
        return;
      }
      if (static_cast<std::uint64_t>(got.size()) < 4ull + size) return;  // the rest is on its way
      const QByteArray all = socket->readAll();
      auto arrival = DecodeArrival(std::string_view(all.constData() + 4, size));
      if (!arrival) {
        socket->abort();
        return;
      }
      socket->write("1", 1);
      socket->flush();
      socket->disconnectFromServer();
      Accept(std::move(*arrival));
    });
  }
}

void HandoverServer::Accept(Arrival arrival) {
  if (front_) front_();
  // Without files and without an action, the window only comes forward.
  if (arrival.paths.empty() && !arrival.action) return;
  gatherer_.Add(std::move(arrival), ArrivalGatherer::Clock::now());
  Schedule();
}

// Files go to the window from the timer alone, never from inside a
// socket's handler: a batch they start runs the event loop itself.
void HandoverServer::DeliverDue() {
  for (const Arrival& arrival : gatherer_.Take(ArrivalGatherer::Clock::now()))
    if (files_) files_(arrival);
  Schedule();
}

void HandoverServer::Schedule() {
  if (const auto due = gatherer_.Due()) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - ArrivalGatherer::Clock::now());
    timer_.start(std::max<int>(0, static_cast<int>(wait.count())));
  }
}

HandoverServer::Front BringForward(QWidget& window) {
  return [&window] {
    if (window.isMinimized()) window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
  };
}

HandoverServer::Files HandTo(ui::Form4& form) {
  return [&form](const Arrival& arrival) { form.FilesFromOutside(arrival.action, arrival.paths); };
}

}  // namespace sealdoor::app
