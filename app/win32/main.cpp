// Start-up on Windows: the command line, one copy per session (a later
// launch hands its files to it), the busy pointer, the system folders, then
// the main window and its messages.

#include "app/single_instance.h"
#include "app/win32/handover.h"
#include "engine/process_guard.h"
#include "engine/win32/windows_h.h"
#include "shell/system_folders.h"
#include "shell/win32/create_process_starter.h"
#include "ui/form4.h"
#include "ui/win32/win32_file_dialog.h"
#include "ui/win32/win32_form4.h"
#include "ui/win32/win32_message_boxes.h"
#include "ui/win32/win32_pointer.h"
// After windows.h, which it needs.
#include <commctrl.h>
#include <ole2.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  sealdoor::GuardProcess();
  auto launch = sealdoor::app::ReadLaunch();
  if (launch.exitCode) return *launch.exitCode;
  // A later copy hands its files to the first, which comes to the front,
  // and ends: no window of its own.
  const sealdoor::app::SingleInstance single;
  if (!single.First()) return sealdoor::app::HandOverAndEnd(launch.own);

  // COM for the open dialog and for what the window tells screen readers;
  // OLE for drag and drop, where the buttons tell a source how they take
  // its files.
  const HRESULT com = ::OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  sealdoor::ui::Win32Pointer pointer;
  pointer.SetBusy();
  const sealdoor::shell::SystemFolders folders = sealdoor::shell::GetSystemFolders();
  MSG pending{};
  while (::PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE) > 0) ::DispatchMessageW(&pending);

  sealdoor::ui::Win32MessageBoxes messages;
  sealdoor::ui::Win32FileDialog dialog(messages);
  sealdoor::shell::CreateProcessStarter starter;
  sealdoor::ui::Win32Form4 view(instance);
  pointer.SetWindow(&view);
  sealdoor::ui::Form4 form(view, {messages, pointer, dialog, starter}, folders.windowsFolder);
  view.Attach(form);
  messages.SetOwner(view.Handle());
  dialog.SetOwner(view.Handle());
  form.Form_Load();  // sets the caption, ends the busy pointer
  sealdoor::app::HandoverWindow handover(
      instance, [&view] { sealdoor::app::BringForward(view.Handle()); },
      [&form](const sealdoor::app::Arrival& a) { form.FilesFromOutside(a.action, a.paths); });
  view.Show();
  handover.Accept(std::move(launch.own));
  const int code = view.Run();
  if (SUCCEEDED(com)) ::OleUninitialize();
  return code;
}
