#include "qt/qt_window_stacking.h"

#include <QWindow>

namespace tolvane {

void QtWindowStacking::set_topmost(int32_t insert_after) {
    if (!window_ || (insert_after != HWND_TOPMOST && insert_after != HWND_NOTOPMOST)) return;
    const bool topmost = insert_after == HWND_TOPMOST;
    // QWidget::setWindowFlag would recreate the native window, which unmaps
    // and may move it; the QWindow's flags change the state in place.
    window_->winId();  // the native window exists from here on
    QWindow* handle = window_->windowHandle();
    if (!handle) return;
    handle->setFlags(handle->flags().setFlag(Qt::WindowStaysOnTopHint, topmost));
}

}  // namespace tolvane
