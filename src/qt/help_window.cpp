#include "qt/help_window.h"

#include <QTextBrowser>
#include <QVBoxLayout>

namespace tolvane {

HelpWindow::HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName("help_window");
    setWindowTitle("KLD-350 Polling Utility - Help");
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("help_browser");
    browser_->setOpenExternalLinks(true);
    browser_->setSource(QUrl(kDocument));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(680, 560);
}

void HelpWindow::bring_up() {
    show();
    raise();
    activateWindow();
}

}  // namespace tolvane
