#pragma once
// Files dropped onto a button are taken as a copy, or as a link where the
// source offers no copy, never as a move: a source told that its files were
// moved may delete them. The system's own way (WM_DROPFILES) says nothing of
// the effect to the source, so the buttons answer the drag themselves.

#include <functional>
#include <string>
#include <vector>

#include "engine/win32/windows_h.h"
// After windows.h, which it needs.
#include <ole2.h>
#include <shellapi.h>

namespace sealdoor::ui {

// The effect a drop is taken with, of those the source allows.
[[nodiscard]] DWORD CopyEffect(DWORD allowed) noexcept;

// The paths a drop carries (UTF-8).
[[nodiscard]] std::vector<std::string> DroppedPaths(HDROP drop);

// COM objects go by Release, never by a delete through the interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CopyDropTarget final : public IDropTarget {
 public:
  // `take` gets the paths of a drop, while the source still waits: it is
  // to hand them on, not to work on them.
  using Take = std::function<void(std::vector<std::string>)>;
  // With one reference, the caller's.
  CopyDropTarget(HWND button, Take take);
  CopyDropTarget(const CopyDropTarget&) = delete;
  CopyDropTarget& operator=(const CopyDropTarget&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;

 private:
  ~CopyDropTarget() = default;
  // Files, and a button that takes them now (not during a batch).
  [[nodiscard]] bool Takes(IDataObject* data) const;

  LONG references_ = 1;
  HWND button_;
  Take take_;
  bool accepting_ = false;
};
#pragma GCC diagnostic pop

}  // namespace sealdoor::ui
