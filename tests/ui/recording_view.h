#pragma once
// The window without a toolkit: a view that keeps the state Form4 gives its
// controls, so the behaviour can be tested alone.

#include <deque>
#include <functional>
#include <map>
#include <string>

#include "ui/form4.h"
#include "ui/form4_view.h"

namespace sealdoor::test {

struct RecordingView final : ui::Form4View {
  ui::Form4* form = nullptr;  // gets Text1_Change, as the toolkit's change event would
  std::string caption, text1, status;
  ui::Rgb statusColour{};
  // `enabled`: no batch holds the window (the box and the buttons take
  // input); `stopOffered`: Command7 reads "Stop" and takes it.
  bool hint = false, padlockOpen = false, progress = false, enabled = true, stopOffered = false, focusOnText1 = false,
       text1Selected = false, ended = false;
  std::map<Caption, std::string> captions;
  std::map<Bar, int> bars{{Bar::File, 12}, {Bar::Overall, 12}};
  int yields = 0;
  std::function<void()> onYield;
  std::function<void()> onCaption;  // after each caption the engine sets

  void SetWindowCaption(std::string_view text) override { caption = text; }
  std::string Text1() const override { return text1; }
  void SetText1(std::string_view text) override {
    text1 = text;
    if (form) form->Text1_Change();
  }
  // Typing: the box changes, then the change event runs.
  void Type(std::string_view text) { SetText1(text1 + std::string(text)); }
  void FocusText1() override { focusOnText1 = true; }
  void SelectText1() override { focusOnText1 = text1Selected = true; }
  void SetHintVisible(bool visible) override { hint = visible; }
  void ShowPadlock(bool open) override { padlockOpen = open; }
  std::string StatusText() const override { return status; }
  void SetStatus(std::string_view text, ui::Rgb colour) override {
    status = text;
    statusColour = colour;
  }
  void SetProgressVisible(bool visible) override { progress = visible; }
  void SetCaption(Caption which, std::string_view text) override {
    captions[which] = text;
    if (onCaption) onCaption();
  }
  void SetBarWidth(Bar which, int twips) override { bars[which] = twips; }
  void SetBatchControls(ui::BatchControls state) override {
    enabled = state == ui::BatchControls::Idle;
    stopOffered = state == ui::BatchControls::Running;
  }
  void Yield() override {
    ++yields;
    if (onYield) onYield();
  }
  // What the window would run from its event loop; RunPosted runs it.
  std::deque<std::function<void()>> posted;
  void Post(std::function<void()> work) override { posted.push_back(std::move(work)); }
  // The event loop's turn: runs what was posted, and what that posts.
  void RunPosted() {
    while (!posted.empty()) {
      auto work = std::move(posted.front());
      posted.pop_front();
      work();
    }
  }
  // What waits for a timer, in the order asked; RunTimers runs what is
  // there now (as if each delay had passed).
  std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> timers;
  void After(std::chrono::milliseconds delay, std::function<void()> work) override {
    timers.emplace_back(delay, std::move(work));
  }
  void RunTimers() {
    auto due = std::move(timers);
    timers.clear();
    for (auto& t : due) t.second();
  }
  void EndProgram() override { ended = true; }
};

}  // namespace sealdoor::test
