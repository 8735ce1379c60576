#pragma once
// The main window in the Win32 API, no toolkit: the controls of the design's
// table (form4_layout.h) under their designer names (as control ids), placed
// in twips through the system's DPI, coloured, and their messages passed on
// to Form4.

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/win32/windows_h.h"
#include "ui/contrast.h"
#include "ui/form4_layout.h"
#include "ui/form4_view.h"
// After windows.h, which it needs.
#include <ole2.h>

namespace sealdoor::ui {

class CopyDropTarget;
class Form4;

// A control's id: its place in the design's table, from 100.
[[nodiscard]] constexpr int IdOf(std::string_view name, int index = -1) {
  return 100 + static_cast<int>(layout::IndexOf(name, index));
}

// The designer's names, one id per control (and per element of a control
// array).
inline constexpr int kFrame3 = IdOf("Frame3"), kLabel8 = IdOf("Label8"), kLabel9 = IdOf("Label9"),
                     kImage1_0 = IdOf("Image1", 0), kImage1_1 = IdOf("Image1", 1), kLabel10 = IdOf("Label10"),
                     kLabel11 = IdOf("Label11"), kLabel12 = IdOf("Label12"), kLabel13 = IdOf("Label13"),
                     kLabel2 = IdOf("Label2"), kText1 = IdOf("Text1"), kCommand4 = IdOf("Command4"),
                     kCommand5 = IdOf("Command5"), kCommand6 = IdOf("Command6"), kCommand7 = IdOf("Command7"),
                     kFrame4 = IdOf("Frame4"), kLabel18 = IdOf("Label18"), kLabel16 = IdOf("Label16"),
                     kLabel19 = IdOf("Label19"), kLabel15_0 = IdOf("Label15", 0), kLabel15_1 = IdOf("Label15", 1),
                     kLabel21 = IdOf("Label21"), kLabel20 = IdOf("Label20"), kLabel17_0 = IdOf("Label17", 0),
                     kLabel17_1 = IdOf("Label17", 1), kLabel22 = IdOf("Label22");

class Win32Form4 final : public Form4View {
 public:
  explicit Win32Form4(HINSTANCE instance);
  ~Win32Form4() override;
  Win32Form4(const Win32Form4&) = delete;
  Win32Form4& operator=(const Win32Form4&) = delete;

  void Attach(Form4& form) noexcept { form_ = &form; }
  [[nodiscard]] HWND Handle() const noexcept { return window_; }
  [[nodiscard]] HWND Control(int id) const;
  // Shows the window centred on the screen.
  void Show();
  // Runs the window's messages until the program ends; the exit code.
  int Run();

  // While set, the pointer over the window is the hourglass.
  void SetBusy(bool busy);

  // Form4View
  void SetWindowCaption(std::string_view text) override;
  std::string Text1() const override;
  void SetText1(std::string_view text) override;
  void FocusText1() override;
  void SelectText1() override;
  void SetHintVisible(bool visible) override;
  void ShowPadlock(bool open) override;
  std::string StatusText() const override;
  void SetStatus(std::string_view text, Rgb colour) override;
  void SetProgressVisible(bool visible) override;
  void SetCaption(Caption which, std::string_view text) override;
  void SetBarWidth(Bar which, int twips) override;
  void SetBatchControls(BatchControls state) override;
  void Yield() override;
  void Post(std::function<void()> work) override;
  void After(std::chrono::milliseconds delay, std::function<void()> work) override;
  void EndProgram() override;

  // Pixels for twips at the window's DPI (15 twips a pixel at 96 dpi).
  [[nodiscard]] int Px(int twips) const;
  [[nodiscard]] int Dpi() const noexcept { return dpi_; }
  // The tooltip window that shows Label16's whole name when it is cut.
  [[nodiscard]] HWND Tooltip() const noexcept { return tooltip_; }
  // What answers a drag over an action button (none where the system's
  // drag and drop could not be set up).
  [[nodiscard]] IDropTarget* DropTarget(int id) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK PanelProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK TrackProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  LRESULT OnMessage(HWND, UINT, WPARAM, LPARAM);
  LRESULT OnPanelMessage(HWND, UINT, WPARAM, LPARAM);
  void BuildControls();
  HWND Make(std::size_t index);
  void DescribeForScreenReaders();

  // Places, fonts and pictures for dpi_; again whenever the DPI changes.
  void Layout();
  void FitClientArea();
  void MakeFonts();
  void LoadPadlocks();
  // The status line in the design's place, or spread over the information
  // box where its text needs the room; cut at a word where even that is
  // too little.
  void PlaceStatus();
  // The colours from the desktop's, again whenever the desktop's change.
  void TakeDesktopColours();
  [[nodiscard]] COLORREF TextColour(std::size_t index) const;
  [[nodiscard]] HBRUSH Brush(layout::Back back) const;
  [[nodiscard]] COLORREF BackColour(layout::Back back) const;
  void UpdateNameTip();
  void RegisterDropTargets();
  void RevokeDropTargets();
  bool PumpOne(const MSG& msg);

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HWND tooltip_ = nullptr;
  Form4* form_ = nullptr;
  int dpi_ = 96;
  bool busy_ = false;
  HWND lastFocus_ = nullptr;   // the control that had the focus, to give it back
  HWND batchFocus_ = nullptr;  // the one that had it when a batch began
  bool ended_ = false;
  // The controls, in the table's order.
  std::array<HWND, layout::kControls.size()> controls_{};
  std::optional<Rgb> statusColour_;   // the status line's own colour, as last set
  std::wstring statusText_;           // the status line's whole text
  std::array<int, 2> barTwips_{12, 12};
  std::wstring fullName_;  // Label16's whole text
  WindowColours colours_{};
  std::array<HBRUSH, 3> brushes_{};  // the panel, the information tint, the bars' fill
  std::array<HFONT, 4> fonts_{};     // by layout::Face
  HICON closedIcon_ = nullptr;
  HICON openIcon_ = nullptr;
  std::map<int, CopyDropTarget*> dropTargets_;  // by button
  // Work waiting to run from the message loop.
  std::deque<std::function<void()>> posted_;
  // Work waiting for its timer, by the timer's id.
  std::map<UINT_PTR, std::function<void()>> timed_;
  UINT_PTR nextTimer_ = 1;
};

}  // namespace sealdoor::ui
