#include "qt/qt_busy_indicator.h"

#include <QCursor>
#include <QGuiApplication>

namespace tolvane {

void QtBusyIndicator::begin() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void QtBusyIndicator::end() {
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace tolvane
