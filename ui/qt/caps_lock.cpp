#include "caps_lock.h"

#include <QGuiApplication>
// After Qt's headers: Xlib's macros (None, Bool, Status...) would clash with them.
#ifdef SEALDOOR_WITH_X11
#include <X11/XKBlib.h>
#endif

namespace sealdoor::ui {

std::optional<bool> CapsLockOn() {
#ifdef SEALDOOR_WITH_X11
  const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = x11 ? x11->display() : nullptr;
  XkbStateRec state{};
  if (display && XkbGetState(display, XkbUseCoreKbd, &state) == Success) return (state.locked_mods & LockMask) != 0;
#endif
  return std::nullopt;
}

}  // namespace sealdoor::ui
