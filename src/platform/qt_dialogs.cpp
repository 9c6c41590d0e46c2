#include "platform/qt_dialogs.h"

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
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool QtDialogs::ask_yes_no(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, kCaption, from_utf8(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace tolvane
