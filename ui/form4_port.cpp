#include "form4_port.h"

#include <utility>

#include "form4_view.h"
#include "message_boxes.h"
#include "text/action_texts.h"
#include "text/notices.h"
#include "text/tr.h"

namespace sealdoor::ui {

std::string Form4Port::Password() const { return view_.Text1(); }
void Form4Port::ShowFile(Action action, std::string_view nopath) {
  view_.SetCaption(Caption::Label18, text::Tr(text::TextsOf(action).operation));
  view_.SetCaption(Caption::Label16, nopath);
}
void Form4Port::SetCaption(Caption which, std::string_view text) { view_.SetCaption(which, text); }
void Form4Port::SetBarWidth(Bar which, int twips) { view_.SetBarWidth(which, twips); }
void Form4Port::ShowProgress() {
  view_.SetProgressVisible(true);
  if (!std::exchange(panelShown_, true)) last_ = {};
}
void Form4Port::Report(const Notice& notice) {
  const text::NoticeText described = text::Describe(notice);
  const text::Message& m = described.message;
  if (!several_) {
    messages_.Show(m.text, m.style);
    return;
  }
  // In a list, and in a box among several files, each message names its file.
  const std::string named = described.namesFile ? m.text : text::NamedFile(notice.path, m.text);
  const bool first = failures_.empty() && notes_.empty();
  (notice.LeftAsItWas() ? failures_ : notes_).push_back(text::OneLine(named));
  if (first) messages_.Show(named, m.style);
}

std::optional<text::BatchSummary> Form4Port::TakeSummary(Action action, std::size_t done, std::size_t files) {
  if (failures_.size() + notes_.size() < 2) return std::nullopt;
  auto summary = text::Summary(action, done, files, failures_, notes_);
  failures_.clear();
  notes_.clear();
  return summary;
}
void Form4Port::Yield() {
  const auto now = std::chrono::steady_clock::now();
  if (last_ != std::chrono::steady_clock::time_point{} && now - last_ < kFrame) return;
  last_ = now;
  view_.Yield();
}

}  // namespace sealdoor::ui
