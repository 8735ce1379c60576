#pragma once
// The engine's window, on a terminal: messages to standard error, each
// naming its file, and on a terminal one progress line kept up to date.

#include <filesystem>
#include <string>

#include "engine/window_port.h"

namespace sealdoor::cli {

class TerminalPort final : public WindowPort {
 public:
  TerminalPort(std::string password, bool showProgress);
  ~TerminalPort() override;

  // A file begins: its percentages are not known yet.
  void BeginFile();
  void EndFile();

  std::string Password() const override { return password_; }
  void ShowFile(Action action, std::string_view nopath) override;
  void SetCaption(Caption which, std::string_view text) override;
  void SetBarWidth(Bar, int) override {}
  void ShowProgress() override { dirty_ = true; }
  void Report(const Notice& notice) override;
  void Yield() override { Draw(); }
  bool StopRequested() const override;

 private:
  void Draw();
  void ClearLine();

  std::string password_;
  bool showProgress_;
  std::string operation_, name_, filePercent_, allPercent_;
  bool dirty_ = false;
  std::size_t drawn_ = 0;  // characters of the progress line on screen
};

// A path as the terminal shows it: quoted as the shell would need it.
[[nodiscard]] std::string Quoted(const std::filesystem::path& path);

// What the user can do about a notice, or empty.
[[nodiscard]] std::string Advice(const Notice& notice);

}  // namespace sealdoor::cli
