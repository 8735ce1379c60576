#pragma once
// The hand-over on Windows: the first copy keeps a hidden message-only
// window that takes WM_COPYDATA from later launches of the same user in
// the same session. A message of another kind, size or user, or not whole
// 16-bit units, is refused and changes nothing. Names arrive as Windows
// gave them to the later launch, a lone surrogate and all.

#include <functional>
#include <optional>

#include "app/arrival_desk.h"
#include "app/launch_args.h"
#include "engine/win32/windows_h.h"

namespace sealdoor::app {

// What the window's class is called, for later launches to find it.
inline constexpr const wchar_t* kHandoverClass = L"Sealdoor.Handover";
// WM_COPYDATA's dwData of our messages.
inline constexpr ULONG_PTR kHandoverTag = 0x53454C44;  // "SELD"

class HandoverWindow {
 public:
  using Front = ArrivalDesk::Front;
  using Files = ArrivalDesk::Files;

  HandoverWindow(HINSTANCE instance, Front front, Files files);
  ~HandoverWindow();
  HandoverWindow(const HandoverWindow&) = delete;
  HandoverWindow& operator=(const HandoverWindow&) = delete;

  // Files of this launch itself, gathered with the others.
  void Accept(Arrival arrival);
  [[nodiscard]] HWND Handle() const noexcept { return window_; }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT OnCopyData(HWND sender, const COPYDATASTRUCT* data);

  HWND window_ = nullptr;
  ArrivalDesk desk_;
};

// Brings the main window to the front (later launches allow it).
void BringForward(HWND window);

// This launch's command line, read: the files it names, as full paths, or
// the exit status to end with at once (after a message for an error,
// --help or --version).
struct Launch {
  Arrival own;
  std::optional<int> exitCode;
};
[[nodiscard]] Launch ReadLaunch();

// A later copy: hands its files to the first copy's window and ends; a
// message when it could not.
[[nodiscard]] int HandOverAndEnd(const Arrival& own);

}  // namespace sealdoor::app
