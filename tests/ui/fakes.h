#pragma once
// Stand-ins for the window's platform services: each records what it was
// asked and answers as the test scripted it.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "engine/window_port.h"
#include "shell/program_starter.h"
#include "ui/file_dialog.h"
#include "ui/form4.h"
#include "ui/message_boxes.h"
#include "ui/pointer.h"

namespace sealdoor::test {

struct FakeMessages final : ui::MessageBoxes {
  std::vector<std::pair<QString, MessageStyle>> shown;
  std::function<void(const QString&)> onShow;  // runs while the box is "open"
  void Show(const QString& text, MessageStyle style) override {
    shown.emplace_back(text, style);
    if (onShow) onShow(text);
  }
  [[nodiscard]] QStringList Texts() const {
    QStringList t;
    for (const auto& s : shown) t << s.first;
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

struct FakeStarter final : shell::ProgramStarter {
  std::vector<std::vector<std::string>> started;
  std::optional<std::string> failWith;
  std::expected<void, std::string> Start(const std::vector<std::string>& argv) override {
    started.push_back(argv);
    if (failWith) return std::unexpected(*failWith);
    return {};
  }
};

// A control of the window by its designer name (and index, for the
// elements of a control array).
template <typename T = QWidget>
T* Child(QWidget& w, const char* name, int index = -1) {
  for (T* c : w.findChildren<T*>(QLatin1String(name)))
    if (index < 0 || c->property("Index").toInt() == index) return c;
  return nullptr;
}

// A window wired to fakes.
struct Harness {
  FakeMessages messages;
  FakePointer pointer;
  FakeDialog dialog;
  FakeStarter starter;
  ui::Form4 window{{messages, pointer, dialog, starter}};
  Harness() { window.SetOpenPause(0); }
};

}  // namespace sealdoor::test
