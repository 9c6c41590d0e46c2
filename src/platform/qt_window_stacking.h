#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/window_stacking.h"

namespace tolvane {

// Stacking of a top-level widget. On X11 the stay-on-top flag is changed on
// the native window in place (the window manager's _NET_WM_STATE_ABOVE), so
// the window is neither unmapped nor moved; on Windows SetWindowPos with
// SWP_NOSIZE | SWP_NOMOVE.
class QtWindowStacking final : public WindowStacking {
  public:
    explicit QtWindowStacking(QWidget* window) : window_(window) {}
    void set_topmost(int32_t insert_after) override;

  private:
    QPointer<QWidget> window_;
};

}  // namespace tolvane
