#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/window_stacking.h"

namespace tolvane {

// Stacking of a top-level widget: the stay-on-top flag is changed on the
// native window in place (on X11 the window manager's _NET_WM_STATE_ABOVE),
// so the window is neither unmapped nor moved.
class QtWindowStacking final : public WindowStacking {
  public:
    explicit QtWindowStacking(QWidget* window) : window_(window) {}
    void set_topmost(int32_t insert_after) override;

  private:
    QPointer<QWidget> window_;
};

}  // namespace tolvane
