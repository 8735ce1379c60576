#pragma once
// The native window over the behaviour, with stand-ins for the dialog, the
// message boxes, the pointer and the program starter.

#include "../service_fakes.h"
#include "ui/form4.h"
#include "ui/win32/win32_form4.h"

namespace sealdoor::ui::test {

struct Window {
  sealdoor::test::FakeMessages messages;
  sealdoor::test::FakePointer pointer;
  sealdoor::test::FakeDialog dialog;
  sealdoor::test::FakeStarter starter;
  Win32Form4 view{::GetModuleHandleW(nullptr)};
  Form4 form{view, {messages, pointer, dialog, starter}};
  Window() {
    view.Attach(form);
    form.Form_Load();
  }
};

}  // namespace sealdoor::ui::test
