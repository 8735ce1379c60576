#pragma once
// Stand-ins for the window's platform services: each records what it was
// asked and answers as the test scripted it. No toolkit.

#include <deque>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/program_starter.h"
#include "ui/file_dialog.h"
#include "ui/message_boxes.h"
#include "ui/pointer.h"

namespace sealdoor::test {

using text::MessageStyle;

struct FakeMessages final : ui::MessageBoxes {
  std::vector<std::pair<std::string, MessageStyle>> shown;
  std::function<void(const std::string&)> onShow;  // runs while the box is "open"
  void Show(std::string_view text, MessageStyle style) override {
    shown.emplace_back(std::string(text), style);
    if (onShow) onShow(shown.back().first);
  }
  // A summary is recorded as a box of its heading, a blank line and its list.
  void ShowSummary(std::string_view heading, std::string_view list, MessageStyle style) override {
    summaries.emplace_back(std::string(heading), std::string(list));
    Show(std::string(heading) + "\r\n\r\n" + std::string(list), style);
  }
  std::vector<std::pair<std::string, std::string>> summaries;
  // Questions asked, and the answers to give (No when none is left).
  std::vector<std::string> asked;
  std::deque<bool> answers;
  bool Ask(std::string_view text) override {
    asked.emplace_back(text);
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  [[nodiscard]] std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& s : shown) t.push_back(s.first);
    return t;
  }
};

struct FakePointer final : ui::Pointer {
  bool busy = false;
  std::vector<bool> history;
  void SetBusy() override { history.push_back(busy = true); }
  void SetNormal() override { history.push_back(busy = false); }
};

struct FakeDialog final : ui::FileDialog {
  std::deque<std::optional<std::string>> answers;  // nullopt: the user cancels
  std::vector<ui::FileDialogOptions> asked;
  std::optional<std::string> Show(const ui::FileDialogOptions& options) override {
    asked.push_back(options);
    if (answers.empty()) return std::nullopt;
    auto a = answers.front();
    answers.pop_front();
    return a;
  }
};

// A started program that ends when the test says so.
struct FakeProgram final : shell::StartedProgram {
  bool ended = false;
  bool Ended() override { return ended; }
};

// Records {path} for a file started as a program, {prefix, path} for a
// registered command; each start's program is kept for the test to end.
struct FakeStarter final : shell::ProgramStarter {
  std::vector<std::vector<std::string>> started;
  std::vector<std::shared_ptr<FakeProgram>> programs;
  std::optional<std::string> failWith;
  std::function<void()> onStart;
  std::expected<shell::Started, std::string> StartFile(const std::string& path) override { return Record({path}); }
  std::expected<shell::Started, std::string> StartCommand(const std::string& prefix, const std::string& path) override {
    return Record({prefix, path});
  }

 private:
  std::expected<shell::Started, std::string> Record(std::vector<std::string> argv) {
    started.push_back(std::move(argv));
    if (onStart) onStart();
    if (failWith) return std::unexpected(*failWith);
    programs.push_back(std::make_shared<FakeProgram>());
    return programs.back();
  }
};

}  // namespace sealdoor::test
