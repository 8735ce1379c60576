#pragma once
// The Qt window wired to the service fakes, and a way to find its controls.

#include <QStringList>
#include <QWidget>
#include <deque>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/format.h"
#include "service_fakes.h"
#include "ui/form4.h"
#include "ui/qt/qt_form4.h"

namespace sealdoor::test {

// The messages shown, as Qt text.
inline QStringList Texts(const FakeMessages& messages) {
  QStringList t;
  for (const auto& s : messages.shown) t << QString::fromStdString(s.first);
  return t;
}

// A control of the window by its designer name (and index, for the
// elements of a control array).
template <typename T = QWidget>
T* Child(QWidget& w, const char* name, int index = -1) {
  for (T* c : w.findChildren<T*>(QLatin1String(name)))
    if (index < 0 || c->property("Index").toInt() == index) return c;
  return nullptr;
}

// Whether the file at `path` is locked (its head says so).
inline bool IsLocked(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> head(format::kHead);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return format::IsLocked(head);
}

// The Qt window and its behaviour, wired to fakes.
struct Harness {
  FakeMessages messages;
  FakePointer pointer;
  FakeDialog dialog;
  FakeStarter starter;
  ui::QtForm4 window;
  ui::Form4 form{window, {messages, pointer, dialog, starter}};
  Harness() {
    window.Attach(form);
    form.Form_Load();
    form.SetOpenPause(std::chrono::seconds(0));
  }
};

}  // namespace sealdoor::test
