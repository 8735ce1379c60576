#include "terminal_port.h"

#include "console.h"
#include "engine/path_text.h"
#include "engine/secure_wipe.h"
#include "engine/system_error.h"
#include "name_quoting.h"
#include "text/action_texts.h"
#include "text/notices.h"
#include "text/tr.h"

namespace sealdoor::cli {

TerminalPort::TerminalPort(std::string password, bool showProgress)
    : password_(std::move(password)), showProgress_(showProgress && IsTerminal(Stream::Err)) {}

TerminalPort::~TerminalPort() { SecureWipe(password_); }

void TerminalPort::BeginFile() {
  filePercent_ = allPercent_ = "";
}

void TerminalPort::EndFile() {
  Draw();
  ClearLine();
}

void TerminalPort::ShowFile(Action action, std::string_view nopath) {
  operation_ = text::Tr(text::TextsOf(action).operation);
  name_ = nopath;
  dirty_ = true;
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

std::string Quoted(const std::filesystem::path& path) { return QuoteAlways(PathText(path)); }

bool TerminalPort::StopRequested() const { return Interrupted(); }

void TerminalPort::Report(const Notice& notice) {
  ClearLine();
  const text::NoticeText said = text::Describe(notice, Quoted);
  std::string line =
      "sealdoor-cli: " + (said.namesFile ? said.message.text : text::NamedFile(notice.path, said.message.text, Quoted));
  if (const std::string advice = Advice(notice); !advice.empty()) line += " (" + advice + ")";
  Write(Stream::Err, line + "\n");
}

void TerminalPort::Draw() {
  if (!showProgress_ || !dirty_) return;
  dirty_ = false;
  // "Locking NAME  37%  (all 12%)", the name cut in the middle to fit the
  // line, one column spare so the terminal never wraps.
  const std::string figures =
      filePercent_.empty()
          ? ""
          : "  " + filePercent_ + "  " + text::Fill(text::Tr("(all {percent})"), {{"percent", allPercent_}});
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

std::string Advice(const Notice& notice) {
  if (notice.what == Notice::What::WrongPassword) return text::Tr("type the password it was locked with; case counts");
  if (notice.what != Notice::What::Failed) return {};
  switch (notice.failure.kind) {
    case Failure::Kind::OpenForWriting:
    case Failure::Kind::OpenUnshared: return text::Tr("close it there, then try again");
    case Failure::Kind::NoWorkingFile: return text::Tr("the folder must be writable for you");
    case Failure::Kind::System:
      switch (ClassOf(notice.failure.code)) {
        case ErrorClass::NoPermission: return text::Tr("you need to be able to read it and write its folder");
        case ErrorClass::NoSpace: return text::Tr("free some space on that disk, then try again");
        default: return {};
      }
    default: return {};
  }
}

}  // namespace sealdoor::cli
