#include "shell/frm_start.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <cmath>

#include "qt/help_window.h"
#include "shell/window_look.h"

namespace tolvane {

FrmStart::FrmStart(std::function<void()> show_main)
    // A fixed dialog frame with a close box only, and no taskbar entry (a
    // utility window).
    : QWidget(nullptr,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      show_main_(std::move(show_main)) {
    setObjectName("frm_start");
    // No caption. Qt puts the application's name in place of an empty title,
    // so the title is one blank.
    setWindowTitle(" ");
    setFont(ms_sans_serif());
    set_ground(this, Qt::black);
    setFixedSize(366, 116);

    pic1_ = new QLabel(this);
    pic1_->setObjectName("PIC1");
    pic1_->setGeometry(twips(720, 240, 4875, 540));
    // Drawn twice as fine as well, for screens scaled by 2 or more.
    const bool fine = devicePixelRatioF() > 1;
    QPixmap title(fine ? ":/title@2x.png" : ":/title.png");
    title.setDevicePixelRatio(fine ? 2 : 1);
    pic1_->setPixmap(title);
    pic1_->setAccessibleName("Vuzazuvevo Rivoredi");
    pic1_->setScaledContents(false);
    pic1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmd_1_ = new QPushButton("OK", this);
    cmd_1_->setObjectName("CMD_1");
    cmd_1_->setGeometry(twips(2160, 912, 1095, 375));
    cmd_1_->setDefault(true);
    cmd_1_->setFocus();
    connect(cmd_1_, &QPushButton::clicked, this, [this] { CMD_1_click(); });
}

FrmStart::~FrmStart() = default;

void FrmStart::Form_Load() {
    // Left = window width / 2 - control width / 2, on the outer width: with
    // a frame the controls stand half a frame width right of the client
    // area's centre; with none (or one not known yet) they are centred.
    const double outer = frameGeometry().width() * 15.0;
    for (QWidget* w : {static_cast<QWidget*>(pic1_), static_cast<QWidget*>(cmd_1_)}) {
        const double left = outer / 2 - w->width() * 15.0 / 2;
        w->move(static_cast<int>(std::lround(left / 15)), w->y());
    }
    centre_on_screen(this);
}

void FrmStart::CMD_1_click() {
    if (main_shown_) return;
    main_shown_ = true;
    show_main_();
    close();
}

void FrmStart::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closed without OK: the program ends here, before anything is read.
    if (!main_shown_) QCoreApplication::quit();
}

void FrmStart::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        if (!help_) help_ = std::make_unique<HelpWindow>(nullptr);
        help_->bring_up();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tolvane
