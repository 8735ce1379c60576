// sealdoor-cli: the lock engine for scripts, file-manager actions and
// benchmarks. The password never comes from an argument.

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "engine/batch_counters.h"
#include "engine/form1.h"
#include "engine/format.h"
#include "engine/password_rule.h"
#include "engine/posix_io.h"
#include "engine/secure_wipe.h"
#include "engine/window_port.h"

namespace {
namespace fs = std::filesystem;
using namespace sealdoor;

constexpr const char* kUsage =
    "Usage: sealdoor-cli lock|unlock|status [--password-stdin] FILE...\n"
    "\n"
    "Locks files in place with a password, unlocks them, or tells whether they\n"
    "are locked. A locked file keeps its name and grows by 702 bytes.\n"
    "\n"
    "  lock      lock each FILE (a locked file is refused)\n"
    "  unlock    unlock each FILE with the password it was locked with\n"
    "  status    print \"locked\" or \"not locked\" for each FILE\n"
    "\n"
    "  --password-stdin  read the password from the first line of standard\n"
    "                    input; otherwise it is asked for on the terminal\n"
    "                    (twice when locking)\n"
    "  --help            show this text\n"
    "\n"
    "The password is 1 to 24 letters and digits; case counts.\n"
    "Locking keeps a file unreadable to casual eyes and to the programs that\n"
    "open it; it is not encryption.\n"
    "\n"
    "Exit status: 0 every file processed, 1 a file refused or failed,\n"
    "2 usage error.\n";

// The engine's window, on a terminal: messages to standard error and, on a
// terminal, one progress line kept up to date.
class TerminalPort final : public WindowPort {
 public:
  explicit TerminalPort(std::string password) : password_(std::move(password)) {}
  ~TerminalPort() override { SecureWipe(password_); }

  std::string Password() const override { return password_; }
  void SetCaption(Caption which, std::string_view text) override {
    switch (which) {
      case Caption::Label18: operation_ = text; break;
      case Caption::Label16: name_ = text; break;
      case Caption::Label21: file_ = text; break;
      case Caption::Label22: all_ = text; break;
    }
    dirty_ = true;
  }
  void SetBarWidth(Bar, int) override {}
  void ShowProgress() override { dirty_ = true; }
  void Message(std::string_view text, MessageStyle) override {
    ClearLine();
    std::cerr << "sealdoor-cli: " << text << '\n';
  }
  void Yield() override { Draw(); }
  void EndFile() {
    Draw();
    ClearLine();
  }

 private:
  void Draw() {
    if (!tty_ || !dirty_) return;
    dirty_ = false;
    std::string line = operation_ + " " + name_ + "  " + file_ + "  (all " + all_ + ")";
    if (line.size() > 78) line.resize(78);
    std::fprintf(stderr, "\r%-78s", line.c_str());
    drawn_ = true;
  }
  void ClearLine() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%78s\r", "");
    drawn_ = false;
  }

  std::string password_;
  std::string operation_, name_, file_, all_;
  bool tty_ = ::isatty(STDERR_FILENO) != 0;
  bool dirty_ = false;
  bool drawn_ = false;
};

std::optional<std::string> AskTerminal(const char* prompt) {
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  termios old {};
  const bool isTerm = ::tcgetattr(fd, &old) == 0;
  if (isTerm) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  (void)!::write(fd, prompt, std::char_traits<char>::length(prompt));
  std::string s;
  char c = 0;
  while (::read(fd, &c, 1) == 1 && c != '\n') s += c;
  if (isTerm) ::tcsetattr(fd, TCSAFLUSH, &old);
  (void)!::write(fd, "\n", 1);
  ::close(fd);
  if (!s.empty() && s.back() == '\r') s.pop_back();
  return s;
}

int Status(const std::vector<fs::path>& files) {
  int rc = 0;
  for (const auto& f : files) {
    auto fd = io::Open(f, O_RDONLY | O_NONBLOCK);
    struct stat st {};
    if (fd && ::fstat(fd->Get(), &st) == 0 && !S_ISREG(st.st_mode)) {
      std::cerr << "sealdoor-cli: '" << f.string() << "': not a regular file\n";
      rc = 1;
      continue;
    }
    std::array<std::uint8_t, format::kHead> head{};
    auto got = fd ? io::ReadFull(fd->Get(), head) : std::expected<std::size_t, int>(std::unexpected(fd.error()));
    if (!got) {
      std::cerr << "sealdoor-cli: '" << f.string() << "': " << io::ErrorText(got.error()) << '\n';
      rc = 1;
      continue;
    }
    std::cout << f.string() << ": "
              << (format::IsLocked(std::span(head).first(*got)) ? "locked" : "not locked") << '\n';
  }
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string command;
  bool fromStdin = false;
  std::vector<fs::path> files;
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (a == "--password-stdin") {
      fromStdin = true;
    } else if (a.starts_with("--")) {
      std::cerr << "sealdoor-cli: unknown option " << a << "\n" << kUsage;
      return 2;
    } else if (command.empty()) {
      command = a;
    } else {
      files.emplace_back(a);
    }
  }
  if (command != "lock" && command != "unlock" && command != "status") {
    std::cerr << kUsage;
    return 2;
  }
  if (files.empty()) {
    std::cerr << "sealdoor-cli: no FILE given\n" << kUsage;
    return 2;
  }
  if (command == "status") return Status(files);

  std::string password;
  if (fromStdin) {
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
  } else {
    auto first = AskTerminal("Password: ");
    if (!first) {
      std::cerr << "sealdoor-cli: no terminal to ask for the password; use --password-stdin\n";
      return 2;
    }
    password = *first;
    if (command == "lock") {
      auto again = AskTerminal("Password again: ");
      const bool same = again && *again == password;
      if (again) SecureWipe(*again);
      if (!same) {
        SecureWipe(password);
        std::cerr << "sealdoor-cli: the two passwords differ\n";
        return 2;
      }
    }
  }
  if (!IsValidPassword(password)) {
    SecureWipe(password);
    std::cerr << "sealdoor-cli: the password must be 1 to 24 letters or digits\n";
    return 2;
  }

  TerminalPort port(std::move(password));
  BatchCounters counters = BatchCountersFor(files);
  int rc = 0;
  for (const auto& f : files) {
    bool result = false;
    Form1 engine(port, counters);
    if (command == "lock")
      engine.LockIt(f, f.filename().string(), result);
    else
      engine.UnlockIt(f, f.filename().string(), result);
    port.EndFile();
    if (!result) rc = 1;
  }
  return rc;
}
