#include "qt/qt_dialogs.h"

#include <cstdio>

#include <QAbstractButton>
#include <QMessageBox>

namespace tolvane {

namespace {

// A line break may come as LF CR (the About text); a box shows it as one.
QString from_utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).remove(u'\r');
}

}  // namespace

void QtDialogs::message(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, kCaption, from_utf8(text), QMessageBox::Ok, parent_);
    show(box);
}

bool QtDialogs::ask_yes_no(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, kCaption, from_utf8(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return show(box) == QMessageBox::Yes;
}

int QtDialogs::show(QMessageBox& box) {
    // A test hook: tests that drive the program from outside cannot read a
    // box's text on the screen.
    if (qEnvironmentVariableIsSet("TOLVANE_TEST_BOX_TEXTS"))
        std::fprintf(stderr, "box: %s\n", qUtf8Printable(box.text()));
    box.setWindowModality(Qt::ApplicationModal);
    open_.emplace_back(&box);
    const int answer = box.exec();
    std::erase_if(open_, [&](const QPointer<QMessageBox>& b) { return !b || b == &box; });
    return answer;
}

void QtDialogs::close_open_boxes() {
    for (const QPointer<QMessageBox>& box : open_) {
        if (!box) continue;
        QAbstractButton* answer = box->button(QMessageBox::No);
        if (!answer) answer = box->button(QMessageBox::Ok);
        if (answer) answer->click();
    }
}

}  // namespace tolvane
