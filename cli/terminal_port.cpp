#include "terminal_port.h"

#include "console.h"
#include "engine/path_text.h"
#include "engine/secure_wipe.h"
#include "name_quoting.h"

namespace sealdoor::cli {

TerminalPort::TerminalPort(std::string password, bool showProgress)
    : password_(std::move(password)), showProgress_(showProgress && IsTerminal(Stream::Err)) {}

TerminalPort::~TerminalPort() { SecureWipe(password_); }

void TerminalPort::BeginFile(const std::filesystem::path& file) {
  file_ = file;
  filePercent_ = allPercent_ = "";
}

void TerminalPort::EndFile() {
  Draw();
  ClearLine();
}

void TerminalPort::SetCaption(Caption which, std::string_view text) {
  switch (which) {
    case Caption::Label18: operation_ = text; break;
    case Caption::Label16: name_ = text; break;
    case Caption::Label21: filePercent_ = text; break;
    case Caption::Label22: allPercent_ = text; break;
  }
  dirty_ = true;
}

std::string TerminalPort::Quoted(const std::filesystem::path& path) const { return QuoteAlways(PathText(path)); }

bool TerminalPort::StopRequested() const { return Interrupted(); }

void TerminalPort::Message(std::string_view text, MessageStyle) {
  ClearLine();
  // A message that names no file (a wrong password) is about the file at
  // hand; every other one names its own, which may be another file of the
  // batch (one whose commit failed later).
  std::string line = "sealdoor-cli: ";
  if (!text.starts_with('\'') && !text.starts_with('"') && !text.starts_with("$'")) line += Quoted(file_) + ": ";
  line += text;
  if (const std::string advice = Advice(text); !advice.empty()) line += " (" + advice + ")";
  Write(Stream::Err, line + "\n");
}

void TerminalPort::Draw() {
  if (!showProgress_ || !dirty_) return;
  dirty_ = false;
  // "Locking NAME  37%  (all 12%)", the name cut in the middle to fit the
  // line, one column spare so the terminal never wraps.
  const std::string figures = filePercent_.empty() ? "" : "  " + filePercent_ + "  (all " + allPercent_ + ")";
  const std::size_t width = TerminalWidth();
  const std::size_t fixed = DisplayLength(operation_) + 1 + DisplayLength(figures) + 1;
  const std::string name = QuoteIfNeeded(name_);
  std::string line = operation_ + " " + (width > fixed ? ElideMiddle(name, width - fixed) : "") + figures;
  if (DisplayLength(line) >= width) line = ElideMiddle(line, width - 1);
  const std::size_t shown = DisplayLength(line);
  std::string out = "\r" + line;
  if (drawn_ > shown) out += std::string(drawn_ - shown, ' ') + "\r" + line;
  Write(Stream::Err, out);
  drawn_ = shown;
}

void TerminalPort::ClearLine() {
  if (drawn_ == 0) return;
  Write(Stream::Err, "\r" + std::string(drawn_, ' ') + "\r");
  drawn_ = 0;
}

std::string Advice(std::string_view message) {
  if (message == "Invalid password !") return "type the password it was locked with; case counts";
  if (message.ends_with("it is open for writing in another program"))
    return "close it there, then try again";
  if (message.find("no working file can be made in its folder") != std::string_view::npos)
    return "the folder must be writable for you";
  if (message.ends_with("Permission denied")) return "you need to be able to read it and write its folder";
  if (message.ends_with("No space left on device")) return "free some space on that disk, then try again";
  return {};
}

}  // namespace sealdoor::cli
