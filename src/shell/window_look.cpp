#include "shell/window_look.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <cmath>

namespace tolvane {

QRect twips(int left, int top, int width, int height) {
    auto px = [](int t) { return static_cast<int>(std::lround(t / 15.0)); };
    return {px(left), px(top), px(width), px(height)};
}

namespace {

QFont font(QStringList families, bool bold) {
    QFont f;
    f.setFamilies(families);
    f.setStyleHint(QFont::SansSerif);
    // QFont's int constructor would make it 8 pt.
    f.setPointSizeF(8.25);
    f.setBold(bold);
    return f;
}

}  // namespace

QFont arial(bool bold) {
    return font({"Arial", "Liberation Sans"}, bold);
}

QFont ms_sans_serif(bool bold) {
    return font({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans"}, bold);
}

void set_colours(QWidget* widget, const QColor& text, const QColor& ground) {
    QPalette p = widget->palette();
    // The text beside a box or circle too; the box keeps its system colours.
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Window, ground);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

void set_ground(QWidget* widget, const QColor& ground) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, ground);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

void centre_on_screen(QWidget* window) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

void tight_indicator(QWidget* button) {
    button->setStyleSheet(QStringLiteral("spacing: 3px"));
}

}  // namespace tolvane
