#pragma once

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <optional>
#include <vector>

#include "inspection/locale_numbers.h"
#include "quality/frozen_chart.h"
#include "quality/lot.h"
#include "quality/tolerances.h"

namespace tolvane {

// The charts of a lot drawn with a painter whose units are points (1/72
// inch), as vector graphics: the report's pages and the Inspection window's
// lot chart draw them alike.

inline const QColor kInk(0x20, 0x20, 0x20), kGrid(0xc8, 0xc8, 0xc8), kLimit(0xc0, 0x1c, 0x28),
    kCentre(0x1a, 0x5f, 0xb4), kSeries(0x24, 0x24, 0x24), kBar(0x99, 0xc1, 0xf1), kMuted(0x60, 0x60, 0x60);


// DejaVu Sans of `size` points, set in quarter points.
QFont report_font(double size, bool bold = false);

// Text on the painter, its numbers in the user's form.
struct ChartPainter {
    QPainter& p;
    const ReportNumbers& numbers;

    // `s` at (x, y), its top there; elided to `width` when one is given.
    void text(double x, double y, const QString& s, double size = 9, bool bold = false,
              double width = 0, Qt::Alignment align = Qt::AlignLeft, QColor colour = kInk);
    // A tick's label, centred on `x`, kept between `from` and `to`.
    void label_at(double x, double y, const QString& s, double from, double to);
};

// A chart of one series against its index: the points, lines across, and
// limits that may step from point to point.
struct ChartLine {
    std::vector<std::optional<double>> y;  // per point (one entry: constant)
    QColor colour;
    Qt::PenStyle style;
    QString label;
};

// What a point of a chart judged against frozen limits is marked with: the
// tests it breaks (written above it), left out of the limits, a cause found.
struct PointMark {
    QString tests;
    bool left_out = false, cause = false;
};

// One series against its index in `box`, with its title, the points
// outside marked, and the lines with their labels at the right. With
// `log_axis` the points and lines are log10 of values, and the axis is
// labelled with the values at its decades.
void draw_chart(ChartPainter& w, const QRectF& box, const QString& title,
                const std::vector<std::optional<double>>& points, const std::vector<bool>& outside,
                const std::vector<ChartLine>& lines, const QString& x_label,
                const std::vector<PointMark>& marks = {}, bool log_axis = false);

// The point of a chart drawn in `box` with `count` points at x, if any.
std::optional<size_t> chart_point_at(const QRectF& box, size_t count, double x);

// "limits frozen on 8 Dec 2026 from 25 records (1 Dec 08:00 – 3 Dec 16:40),
// 2 left out", its dates in the locale's short forms.
QString frozen_sentence(const FrozenControl& kept, const QLocale& locale);

// The histogram of `values` with the limits marked, and with a fit the
// density of its distribution over the bars. On the fit's log scale the
// classes are equal in log10, the axis logarithmic, and values of 0 or
// below are left out (the title says how many).
void draw_histogram(ChartPainter& w, const QRectF& box, const std::vector<double>& values,
                    const Limits& limits, const Fit* fit = nullptr);

// The X-bar chart above the s chart, in `box`: the s chart gets four
// ninths of it.
// With frozen limits, those at each point's size and the points' marks
// (individuals and moving ranges for records of one value). On the log
// scale the X-bar chart's axis is logarithmic (its points are the records'
// geometric means); the s chart stays that of log10 of the values.
void draw_control_charts(ChartPainter& w, const QRectF& box, const LotStatistics& s,
                         const FrozenChart* frozen = nullptr);
// The height of the X-bar chart in a box of control charts this high.
double control_chart_height(double box_height);

// The X-bar chart above the s chart of a lot of several records, in `box`
// (the painter's units; text sizes as points in them).
void paint_control_charts(QPainter& painter, const QRectF& box, const Lot& lot,
                          const QLocale& locale, const FrozenChart* frozen = nullptr);

}  // namespace tolvane
