#pragma once
#include <expected>
#include <memory>
#include <string>
#include <string_view>

namespace sealdoor::shell {

// Whether a file of this extension (".exe", exactly as written) is started
// as a program itself rather than opened with one. On Windows the four the
// system runs (".exe", ".com", ".bat", ".pif"); on Linux none: there any
// file of a removable disk may be marked executable, and a received
// "invoice.bat" must never run.
[[nodiscard]] bool StartsItself(std::string_view extension);

// A program that was started, asked now and then whether it has ended.
class StartedProgram {
 public:
  virtual ~StartedProgram() = default;
  // Whether it has ended; asked without waiting.
  [[nodiscard]] virtual bool Ended() = 0;
};
// What a start gives: the program to watch, or none where the system
// gives nothing to watch it by.
using Started = std::shared_ptr<StartedProgram>;

// Starts programs on their own, without a shell, and does not wait for them.
// One implementation per system.
class ProgramStarter {
 public:
  virtual ~ProgramStarter() = default;
  // Starts the file itself as a program. On failure, the reason.
  virtual std::expected<Started, std::string> StartFile(const std::string& path) = 0;
  // Starts a registered command: `prefix` is the command cut before its file
  // argument, and `path` follows it (as one argument, whatever it holds).
  virtual std::expected<Started, std::string> StartCommand(const std::string& prefix, const std::string& path) = 0;
};

}  // namespace sealdoor::shell
