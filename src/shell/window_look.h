#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QWidget>

namespace tolvane {

// Window geometry is laid out in twips; 15 make one pixel at 96 dpi.
QRect twips(int left, int top, int width, int height);

// Arial 8.25 pt, or the metric-compatible Liberation Sans where Arial is
// missing.
QFont arial(bool bold = false);
// MS Sans Serif 8.25 pt, or the nearest sans-serif face.
QFont ms_sans_serif(bool bold = false);

// Text and ground colours; the ground is painted (opaque).
void set_colours(QWidget* widget, const QColor& text, const QColor& ground);
// The ground alone; children keep the system's text colours.
void set_ground(QWidget* widget, const QColor& ground);

// A window without an owner is placed in the middle of the screen.
void centre_on_screen(QWidget* window);

// A check box or option button whose text starts close to its box, as the
// layout's narrow widths expect.
void tight_indicator(QWidget* button);

}  // namespace tolvane
