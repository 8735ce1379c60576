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

  // The file the next messages are about.
  void BeginFile(const std::filesystem::path& file);
  void EndFile();

  std::string Password() const override { return password_; }
  void SetCaption(Caption which, std::string_view text) override;
  void SetBarWidth(Bar, int) override {}
  void ShowProgress() override { dirty_ = true; }
  void Message(std::string_view text, MessageStyle style) override;
  void Yield() override { Draw(); }
  bool StopRequested() const override;
  std::string Quoted(const std::filesystem::path& path) const override;

 private:
  void Draw();
  void ClearLine();

  std::string password_;
  bool showProgress_;
  std::filesystem::path file_;
  std::string operation_, name_, filePercent_, allPercent_;
  bool dirty_ = false;
  std::size_t drawn_ = 0;  // characters of the progress line on screen
};

// What the user can do about a message, or empty.
[[nodiscard]] std::string Advice(std::string_view message);

}  // namespace sealdoor::cli
