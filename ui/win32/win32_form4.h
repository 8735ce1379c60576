#pragma once
// The main window in the Win32 API, no toolkit: the controls under their
// designer names (as control ids), placed in twips through the system's
// DPI, coloured, and their messages passed on to Form4.

#include <array>
#include <map>
#include <string>

#include "engine/win32/windows_h.h"
#include "ui/form4_view.h"

namespace sealdoor::ui {

class Form4;

// Control ids: the designer's names, one id per control (and per element
// of a control array).
enum ControlId : int {
  kFrame3 = 100, kLabel8, kLabel9, kImage1_0, kImage1_1, kLabel10, kLabel11, kLabel12, kLabel13, kLabel2,
  kText1, kCommand4, kCommand5, kCommand6, kCommand7, kFrame4, kLabel18, kLabel16, kLabel19, kLabel15_0,
  kLabel15_1, kLabel21, kLabel20, kLabel17_0, kLabel17_1, kLabel22,
};

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
  void SetHintVisible(bool visible) override;
  void ShowPadlock(bool open) override;
  std::string StatusText() const override;
  void SetStatus(std::string_view text, Rgb colour) override;
  void SetProgressVisible(bool visible) override;
  void SetCaption(Caption which, std::string_view text) override;
  void SetBarWidth(Bar which, int twips) override;
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;
  void Yield() override;
  void EndProgram() override;

  // Pixels for twips at the screen's DPI (15 twips a pixel at 96 dpi).
  [[nodiscard]] int Px(int twips) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK PanelProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  LRESULT OnMessage(HWND, UINT, WPARAM, LPARAM);
  LRESULT OnPanelMessage(HWND, UINT, WPARAM, LPARAM);
  void BuildControls();
  HWND Make(const wchar_t* cls, int id, HWND parent, int left, int top, int width, int height,
            const std::wstring& text, DWORD style);
  bool PumpOne(const MSG& msg);

  HINSTANCE instance_;
  HWND window_ = nullptr;
  Form4* form_ = nullptr;
  int dpi_ = 96;
  bool busy_ = false;
  HWND lastFocus_ = nullptr;  // the control that had the focus, to give it back
  bool ended_ = false;
  std::map<int, HWND> controls_;
  std::map<int, COLORREF> textColours_;
  std::map<int, COLORREF> backColours_;
  std::map<int, HBRUSH> brushes_;
  std::map<int, HFONT> fonts_;
  HICON closedIcon_ = nullptr;
  HICON openIcon_ = nullptr;
};

}  // namespace sealdoor::ui
