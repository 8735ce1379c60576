#include "copy_drop_target.h"

#include "engine/win32/wide.h"

namespace sealdoor::ui {
namespace {

FORMATETC FilesFormat() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

}  // namespace

DWORD CopyEffect(DWORD allowed) noexcept {
  if (allowed & DROPEFFECT_COPY) return DROPEFFECT_COPY;
  if (allowed & DROPEFFECT_LINK) return DROPEFFECT_LINK;
  return DROPEFFECT_NONE;
}

std::vector<std::string> DroppedPaths(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
    paths.push_back(win32::Narrow(path));
  }
  return paths;
}

CopyDropTarget::CopyDropTarget(HWND button, Take take) : button_(button), take_(std::move(take)) {}

HRESULT CopyDropTarget::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
    *out = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG CopyDropTarget::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

ULONG CopyDropTarget::Release() {
  const LONG left = ::InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

bool CopyDropTarget::Takes(IDataObject* data) const {
  FORMATETC format = FilesFormat();
  return data && ::IsWindowEnabled(button_) && data->QueryGetData(&format) == S_OK;
}

HRESULT CopyDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  accepting_ = Takes(data);
  if (effect) *effect = accepting_ ? CopyEffect(*effect) : DROPEFFECT_NONE;
  return S_OK;
}

HRESULT CopyDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  if (effect) *effect = accepting_ && ::IsWindowEnabled(button_) ? CopyEffect(*effect) : DROPEFFECT_NONE;
  return S_OK;
}

HRESULT CopyDropTarget::DragLeave() {
  accepting_ = false;
  return S_OK;
}

HRESULT CopyDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  const DWORD allowed = effect ? *effect : DROPEFFECT_NONE;
  if (effect) *effect = DROPEFFECT_NONE;
  accepting_ = false;
  if (!Takes(data) || CopyEffect(allowed) == DROPEFFECT_NONE) return S_OK;
  FORMATETC format = FilesFormat();
  STGMEDIUM medium{};
  if (data->GetData(&format, &medium) != S_OK) return S_OK;
  std::vector<std::string> paths = DroppedPaths(static_cast<HDROP>(medium.hGlobal));
  ::ReleaseStgMedium(&medium);
  if (paths.empty()) return S_OK;
  if (effect) *effect = CopyEffect(allowed);
  take_(std::move(paths));
  return S_OK;
}

}  // namespace sealdoor::ui
