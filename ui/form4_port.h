#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "engine/window_port.h"
#include "text/window_texts.h"

namespace sealdoor::ui {

class Form4View;
class MessageBoxes;

// The engine's view of the main window: the password box, the progress
// panel, message boxes and event processing.
class Form4Port final : public WindowPort {
 public:
  Form4Port(Form4View& view, MessageBoxes& messages) : view_(view), messages_(messages) {}

  std::string Password() const override;
  void ShowFile(Action action, std::string_view nopath) override;
  void SetCaption(Caption which, std::string_view text) override;
  void SetBarWidth(Bar which, int twips) override;
  void ShowProgress() override;
  // In a batch of one file, each message in its box as it comes. In a batch
  // of several, the first in its box, naming its file; the others are
  // kept for the summary at the batch's end.
  void Report(const Notice& notice) override;
  // Lets the window process its events and repaint, at most once a frame:
  // a batch of small files asks many times a millisecond, and painting each
  // time would cost more than the files. The first call of a batch, and the
  // first after the progress panel appears, always go through.
  void Yield() override;
  // A batch begins, with the panel hidden.
  void Restart(bool severalFiles) {
    last_ = {};
    panelShown_ = false;
    several_ = severalFiles;
    failures_.clear();
    notes_.clear();
  }
  // At the batch's end: when it had more than one message, all of them,
  // to be shown together.
  [[nodiscard]] std::optional<text::BatchSummary> TakeSummary(Action action, std::size_t done, std::size_t files);
  // "Stop", Escape or the title bar's close during a batch; heard by the
  // engine at its next pause.
  void RequestStop() noexcept { stop_ = true; }
  void ClearStop() noexcept { stop_ = false; }
  bool StopRequested() const override { return stop_; }

 private:
  static constexpr std::chrono::milliseconds kFrame{16};
  Form4View& view_;
  MessageBoxes& messages_;
  std::chrono::steady_clock::time_point last_{};
  bool panelShown_ = false;
  bool stop_ = false;
  bool several_ = false;
  std::vector<std::string> failures_, notes_;  // one line each, the first message's too
};

}  // namespace sealdoor::ui
