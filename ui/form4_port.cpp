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
  const text::Message m = text::Describe(notice).message;
  messages_.Show(m.text, m.style);
}
void Form4Port::Yield() {
  const auto now = std::chrono::steady_clock::now();
  if (last_ != std::chrono::steady_clock::time_point{} && now - last_ < kFrame) return;
  last_ = now;
  view_.Yield();
}

}  // namespace sealdoor::ui
