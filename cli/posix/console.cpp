#include "cli/console.h"

#include <fcntl.h>
#include <linux/kd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <iterator>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "engine/process_guard.h"

namespace sealdoor::cli {
namespace {

int Fd(Stream s) { return s == Stream::Out ? STDOUT_FILENO : STDERR_FILENO; }

bool gFailed[2] = {false, false};

// The terminal's settings while a password is asked for, to put back if the
// user interrupts.
int gTerminal = -1;
termios gSaved{};

void RestoreTerminal() noexcept {
  if (gTerminal >= 0) ::tcsetattr(gTerminal, TCSAFLUSH, &gSaved);
  (void)!::write(gTerminal >= 0 ? gTerminal : STDERR_FILENO, "\n", 1);
}

// Reads one line from `fd` a byte at a time, so nothing after the line is
// taken from the file and no stream buffer holds a copy.
std::string ReadLine(int fd) {
  std::string s;
  s.reserve(256);  // a password never needs the string to move (and leave a copy behind)
  char c = 0;
  for (;;) {
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1 || c == '\n') break;
    if (s.size() < s.capacity()) s += c;
  }
  c = 0;
  if (!s.empty() && s.back() == '\r') s.pop_back();
  return s;
}

}  // namespace

bool IsTerminal(Stream stream) { return ::isatty(Fd(stream)) != 0; }

std::size_t TerminalWidth() {
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  if (const char* columns = std::getenv("COLUMNS")) {
    const long n = std::strtol(columns, nullptr, 10);
    if (n > 0) return static_cast<std::size_t>(n);
  }
  return 80;
}

bool Write(Stream stream, std::string_view text) {
  FILE* f = stream == Stream::Out ? stdout : stderr;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (!ok) gFailed[static_cast<int>(stream)] = true;
  return ok;
}

bool Flush(Stream stream) {
  FILE* f = stream == Stream::Out ? stdout : stderr;
  if (std::fflush(f) != 0 || std::ferror(f)) gFailed[static_cast<int>(stream)] = true;
  return !gFailed[static_cast<int>(stream)];
}

namespace {

std::optional<std::string> Ask(std::string_view prompt, bool echo) {
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const bool isTerm = !echo && ::tcgetattr(fd, &gSaved) == 0;
  if (isTerm) {
    gTerminal = fd;
    SetInterruptCleanup(&RestoreTerminal);
    termios quiet = gSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  (void)!::write(fd, prompt.data(), prompt.size());
  std::string s = ReadLine(fd);
  if (isTerm) {
    ::tcsetattr(fd, TCSAFLUSH, &gSaved);
    SetInterruptCleanup(nullptr);
    gTerminal = -1;
  }
  if (!echo) (void)!::write(fd, "\n", 1);
  ::close(fd);
  return s;
}

}  // namespace

std::optional<std::string> AskPassword(std::string_view prompt) { return Ask(prompt, false); }

std::optional<std::string> AskAnswer(std::string_view prompt) { return Ask(prompt, true); }

std::string ReadPasswordLine() { return ReadLine(STDIN_FILENO); }

std::optional<bool> CapsLockOn() {
  // The keyboard's lock flags, which only a virtual console of Linux keeps.
  const int fd = ::open("/dev/tty", O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  char flags = 0;
  const bool told = ::ioctl(fd, KDGKBLED, &flags) == 0;
  ::close(fd);
  if (!told) return std::nullopt;
  return (flags & K_CAPSLOCK) != 0;
}

namespace {

std::atomic<bool> gInterrupted{false};
struct sigaction gBefore {};

void OnInterruptDuringBatch(int) {
  if (!gInterrupted.exchange(true)) return;
  // The second: ended at once by the handler there was before.
  ::sigaction(SIGINT, &gBefore, nullptr);
  ::raise(SIGINT);
}

}  // namespace

void StopOnInterrupt(bool on) {
  if (!on) {
    ::sigaction(SIGINT, &gBefore, nullptr);
    return;
  }
  struct sigaction sa {};
  sa.sa_handler = OnInterruptDuringBatch;
  sa.sa_flags = SA_RESTART;  // the file at hand goes on to its next pause, where the stop is heard
  ::sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, &gBefore);
}

bool Interrupted() noexcept { return gInterrupted.load(); }

namespace {

constexpr int kHeld[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
std::atomic<int> gHeld{0};
struct sigaction gBeforeHeld[std::size(kHeld)] {};

void OnHeldInterrupt(int signal) {
  int none = 0;
  gHeld.compare_exchange_strong(none, signal);
}

}  // namespace

void HoldInterrupts(bool on) {
  for (std::size_t i = 0; i < std::size(kHeld); ++i) {
    if (!on) {
      ::sigaction(kHeld[i], &gBeforeHeld[i], nullptr);
      continue;
    }
    struct sigaction sa {};
    sa.sa_handler = OnHeldInterrupt;
    sa.sa_flags = SA_RESTART;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(kHeld[i], &sa, &gBeforeHeld[i]);
  }
}

int HeldInterrupt() noexcept { return gHeld.load(); }

}  // namespace sealdoor::cli
