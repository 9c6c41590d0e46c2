#include "inspection/report_charts.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <string>

#include "quality/axis_ticks.h"
#include "quality/distribution.h"

namespace tolvane {

QFont report_font(double size, bool bold) {
    QFont f("DejaVu Sans");
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(size * 4))));
    f.setBold(bold);
    // No ligatures: the PDF's text is searched and copied, "fi" as two letters.
    f.setStyleStrategy(QFont::PreferNoShaping);
    return f;
}

// Text size in points: fonts are set in quarter points (pixel sizes are whole
// numbers) and the painter scaled by four more.

void ChartPainter::text(double x, double y, const QString& s, double size, bool bold,
                    double width, Qt::Alignment align, QColor colour) {
    p.save();
    p.scale(0.25, 0.25);
    p.setFont(report_font(size, bold));
    p.setPen(colour);
    const QFontMetricsF m(p.font());
    QString shown = s;
    if (width > 0) shown = m.elidedText(s, Qt::ElideRight, width * 4);
    const double w = m.horizontalAdvance(shown);
    double left = x * 4;
    if (align & Qt::AlignRight) left = (x + width) * 4 - w;
    if (align & Qt::AlignHCenter) left = (x + width / 2) * 4 - w / 2;
    p.drawText(QPointF(left, y * 4 + m.ascent()), shown);
    p.restore();
}

void ChartPainter::label_at(double x, double y, const QString& s, double from, double to) {
const double width = 64;
const double left = std::clamp(x - width / 2, from, to - width);
    p.save();
    p.scale(0.25, 0.25);
    p.setFont(report_font(6.5));
    p.setPen(kInk);
    const QFontMetricsF m(p.font());
    const double w = m.horizontalAdvance(s);
    const double at = std::clamp(x * 4 - w / 2, left * 4, (left + width) * 4 - w);
    p.drawText(QPointF(at, y * 4 + m.ascent()), s);
    p.restore();
}

void draw_chart(ChartPainter& w, const QRectF& box, const QString& title,
                const std::vector<std::optional<double>>& points, const std::vector<bool>& outside,
                const std::vector<ChartLine>& lines, const QString& x_label,
                const std::vector<PointMark>& marks, bool log_axis) {
    QPainter& p = w.p;
    w.text(box.left(), box.top(), title, 9, true, box.width());
    const QRectF plot(box.left() + 48, box.top() + 16, box.width() - 48 - 74, box.height() - 30);
    double lo = INFINITY, hi = -INFINITY;
    const auto take = [&](const std::optional<double>& y) {
        if (y) {
            lo = std::min(lo, *y);
            hi = std::max(hi, *y);
        }
    };
    for (const auto& y : points) take(y);
    for (const ChartLine& l : lines)
        for (const auto& y : l.y) take(y);
    if (!(lo <= hi)) lo = 0, hi = 1;
    std::vector<double> at;
    std::vector<std::string> tick_labels;
    if (log_axis) {
        const double pad = (hi - lo) * 0.04;
        const LogTicks ticks = log_ticks(std::pow(10.0, lo - pad), std::pow(10.0, hi + pad), 6);
        lo = ticks.from_decade;
        hi = ticks.to_decade;
        for (const double v : ticks.values) at.push_back(std::log10(v));
        tick_labels = ticks.labels(w.numbers.symbols());
    } else {
        const double pad = (hi - lo) * 0.08;
        // Readings and standard deviations are never below 0: nor is their axis.
        lo = lo >= 0 ? std::max(0.0, lo - pad) : lo - pad;
        hi += pad;
        const AxisTicks ticks = axis_ticks(lo, hi, 5);
        lo = ticks.from;
        hi = ticks.to;
        at = ticks.values();
        tick_labels = ticks.labels(w.numbers.symbols());
    }
    const size_t count = std::max<size_t>(points.size(), 1);
    const auto x_at = [&](double i) { return plot.left() + (i + 0.5) * plot.width() / count; };
    const auto y_at = [&](double y) { return plot.bottom() - (y - lo) / (hi - lo) * plot.height(); };

    p.setPen(QPen(kGrid, 0.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    for (size_t k = 0; k < at.size(); ++k) {
        p.setPen(QPen(kGrid, 0.3));
        p.drawLine(QPointF(plot.left(), y_at(at[k])), QPointF(plot.right(), y_at(at[k])));
        w.text(box.left(), y_at(at[k]) - 4, QString::fromStdString(tick_labels[k]), 6.5, false, 45,
               Qt::AlignRight);
    }
    w.text(plot.left(), plot.bottom() + 3, x_label + " 1 … " + w.numbers.count(points.size()), 6.5,
           false, plot.width());

    // Each line as one path (steps where the limits change from point to
    // point), its label at the right, labels kept apart.
    std::vector<std::pair<double, QString>> labels;
    for (const ChartLine& l : lines) {
        QPainterPath line;
        bool open = false;
        std::optional<double> last;
        for (size_t i = 0; i < count; ++i) {
            const std::optional<double> y =
                l.y.size() == 1 ? l.y[0] : (i < l.y.size() ? l.y[i] : std::nullopt);
            if (!y) {
                open = false;
                continue;
            }
            const double left = plot.left() + i * plot.width() / count;
            const double right = left + plot.width() / count;
            open ? line.lineTo(left, y_at(*y)) : line.moveTo(left, y_at(*y));
            line.lineTo(right, y_at(*y));
            open = true;
            last = y;
        }
        p.setPen(QPen(l.colour, 0.9, l.style));
        p.drawPath(line);
        if (last) labels.emplace_back(y_at(*last), l.label);
    }
    std::sort(labels.begin(), labels.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    double free_from = -INFINITY;
    for (auto& [at, label] : labels) {
        at = std::max(at, free_from);
        free_from = at + 8;
        w.text(plot.right() + 3, at - 4, label, 6.5, false, 70);
    }

    QPainterPath path;
    bool started = false;
    for (size_t i = 0; i < points.size(); ++i) {
        if (!points[i]) {
            started = false;
            continue;
        }
        const QPointF at(x_at(i), y_at(*points[i]));
        started ? path.lineTo(at) : path.moveTo(at);
        started = true;
    }
    p.setPen(QPen(kSeries, 0.8));
    p.drawPath(path);
    const double r = points.size() > 150 ? 1.0 : 2.0;
    for (size_t i = 0; i < points.size(); ++i) {
        if (!points[i]) continue;
        const QPointF at(x_at(i), y_at(*points[i]));
        const bool out = i < outside.size() && outside[i];
        p.setPen(QPen(out ? kLimit : kSeries, 0.6));
        p.setBrush(out ? kLimit : kSeries);
        if (out)
            p.drawRect(QRectF(at.x() - r - 0.8, at.y() - r - 0.8, 2 * r + 1.6, 2 * r + 1.6));
        else
            p.drawEllipse(at, r, r);
        if (i >= marks.size()) continue;
        const PointMark& m = marks[i];
        p.setBrush(Qt::NoBrush);
        if (m.left_out) {
            // A hollow diamond around it: on the chart, out of the limits.
            QPainterPath diamond;
            const double d = r + 2.6;
            diamond.moveTo(at.x(), at.y() - d);
            diamond.lineTo(at.x() + d, at.y());
            diamond.lineTo(at.x(), at.y() + d);
            diamond.lineTo(at.x() - d, at.y());
            diamond.closeSubpath();
            p.setPen(QPen(kMuted, 0.7));
            p.drawPath(diamond);
        }
        if (m.cause) {
            // A small flag below it: a cause was found.
            p.setPen(QPen(kCentre, 0.6));
            p.setBrush(kCentre);
            QPolygonF flag;
            flag << QPointF(at.x(), at.y() + r + 1.5) << QPointF(at.x() - 2.2, at.y() + r + 5)
                 << QPointF(at.x() + 2.2, at.y() + r + 5);
            p.drawPolygon(flag);
            p.setBrush(Qt::NoBrush);
        }
        if (!m.tests.isEmpty() && points.size() <= 80)
            w.text(at.x() - 15, at.y() - r - 9, m.tests, 5.5, true, 30, Qt::AlignHCenter, kLimit);
    }
    p.setBrush(Qt::NoBrush);
}

std::optional<size_t> chart_point_at(const QRectF& box, size_t count, double x) {
    const QRectF plot(box.left() + 48, box.top() + 16, box.width() - 48 - 74, box.height() - 30);
    if (count == 0 || x < plot.left() || x >= plot.right()) return std::nullopt;
    return std::min(count - 1, static_cast<size_t>((x - plot.left()) / plot.width() * count));
}

QString frozen_sentence(const FrozenControl& kept, const QLocale& locale) {
    const auto date = [](const LocalDateTime& t) { return QDate(t.year, t.month, t.day); };
    const auto at = [&](const LocalDateTime& t) {
        return QDateTime(date(t), QTime(t.hour, t.minute, t.second));
    };
    QString text = "limits frozen";
    if (kept.frozen) text += " on " + locale.toString(date(*kept.frozen), QLocale::ShortFormat);
    text += QString(" from %1 record%2").arg(locale.toString(qulonglong(kept.records_used)),
                                           kept.records_used == 1 ? "" : "s");
    if (kept.first_time && kept.last_time)
        text += " (" + locale.toString(at(*kept.first_time), QLocale::ShortFormat) + " – " +
                locale.toString(at(*kept.last_time), QLocale::ShortFormat) + ")";
    text += QString(", %1 left out").arg(locale.toString(qulonglong(kept.left_out.size())));
    return text;
}

double control_chart_height(double box_height) { return (box_height - 6) / 1.8; }

namespace {

// The bars of a histogram on its axis, in the axis's units (values, or
// log10 of values): the classes' edges lo + i (hi - lo) / bins.
struct Bars {
    double lo = 0, hi = 1;
    std::vector<size_t> counts;
    std::vector<double> at;                 // labelled ticks
    std::vector<std::string> labels;
};

Bars linear_bars(const std::vector<double>& values, const Limits& limits,
                 const NumberSymbols& symbols) {
    Bars bars;
    double lo = *std::min_element(values.begin(), values.end());
    double hi = *std::max_element(values.begin(), values.end());
    if (limits.lower) lo = std::min(lo, *limits.lower);
    if (limits.upper) hi = std::max(hi, *limits.upper);
    const double pad = (hi - lo) * 0.05;
    // Readings are never below 0: nor is their axis.
    lo = lo >= 0 ? std::max(0.0, lo - pad) : lo - pad;
    hi += pad;
    // Classes between round ticks: two, four or five to each step.
    const AxisTicks ticks = axis_ticks(lo, hi, 6);
    bars.lo = ticks.from;
    bars.hi = ticks.to;
    bars.at = ticks.values();
    bars.labels = ticks.labels(symbols);
    // Classes a whole number of the values' last digit wide, so that no
    // class gets one more of the possible readings than its neighbour; a
    // reading on an edge counts in the class above.
    const int wanted = static_cast<int>(std::ceil(std::sqrt(values.size()) / ticks.intervals));
    const NumberForm form = form_of(values);
    const double digit = form.scientific ? 0 : std::pow(10.0, -form.decimals);
    int per_step = 1;
    for (const int c : {5, 2}) {
        const double units = ticks.step / c / digit;
        if (c <= wanted && (digit == 0 || std::fabs(units - std::round(units)) < 1e-6)) {
            per_step = c;
            break;
        }
    }
    bars.counts.resize(static_cast<size_t>(ticks.intervals * per_step));
    return bars;
}

// Classes equal in log10, a whole number of them to each decade, about
// sqrt(n) in all.
Bars log_bars(const std::vector<double>& logs, const Limits& limits, const NumberSymbols& symbols) {
    Bars bars;
    double lo = *std::min_element(logs.begin(), logs.end());
    double hi = *std::max_element(logs.begin(), logs.end());
    for (const auto& limit : {limits.lower, limits.upper})
        if (limit && *limit > 0) lo = std::min(lo, std::log10(*limit)), hi = std::max(hi, std::log10(*limit));
    const LogTicks ticks = log_ticks(std::pow(10.0, lo), std::pow(10.0, hi), 8);
    bars.lo = ticks.from_decade;
    bars.hi = ticks.to_decade;
    for (const double v : ticks.values) bars.at.push_back(std::log10(v));
    bars.labels = ticks.labels(symbols);
    const int decades = ticks.to_decade - ticks.from_decade;
    // About sqrt(n) classes over the values themselves, whatever the limits add.
    const double spread = std::max(1.0, *std::max_element(logs.begin(), logs.end()) -
                                            *std::min_element(logs.begin(), logs.end()));
    const double wanted = std::sqrt(static_cast<double>(logs.size())) / spread;
    int per_decade = 1;
    for (const int c : {2, 4, 5, 10, 20})
        if (c <= wanted) per_decade = c;
    bars.counts.resize(static_cast<size_t>(decades * per_decade));
    return bars;
}

}  // namespace

void draw_histogram(ChartPainter& w, const QRectF& box, const std::vector<double>& all,
                    const Limits& limits, const Fit* fit) {
    QPainter& p = w.p;
    const bool log = fit && fit->scale == Scale::kLog;
    QString title = log ? "Histogram of all values, logarithmic axis" : "Histogram of all values";
    // On the log axis in log10 of the values; those of 0 or below have none.
    const ScaledValues scaled = in_scale(std::span<const double>(all), log ? Scale::kLog : Scale::kLinear);
    const std::vector<double>& values = scaled.values;
    if (scaled.not_positive > 0)
        title += " (" + QString::fromStdString(not_positive_words(scaled.not_positive, scaled.negative)) +
                 ", left out)";
    w.text(box.left(), box.top(), title, 9, true, box.width());
    const QRectF plot(box.left() + 48, box.top() + 16, box.width() - 48 - 74, box.height() - 30);
    p.setPen(QPen(kGrid, 0.5));
    p.drawRect(plot);
    if (values.empty()) return;
    Bars bars = log ? log_bars(values, limits, w.numbers.symbols())
                    : linear_bars(values, limits, w.numbers.symbols());
    const double lo = bars.lo, hi = bars.hi;
    const int count = static_cast<int>(bars.counts.size());
    for (const double v : values)
        ++bars.counts[std::clamp(static_cast<int>(std::floor((v - lo) / (hi - lo) * count + 1e-9)), 0,
                                 count - 1)];
    size_t top = std::max<size_t>(1, *std::max_element(bars.counts.begin(), bars.counts.end()));
    // The fitted density as counts of a class: n × width × its density, in
    // the axis's units (a lognormal is a normal in log10 of the values).
    const double width = (hi - lo) / count;
    const bool curve = fit && fit->mean && fit->sd && *fit->sd > 0;
    const auto expected = [&](double x) {
        return fitted_class_count(x, *fit->mean, *fit->sd, values.size(), width);
    };
    if (curve && *fit->mean >= lo && *fit->mean <= hi)
        top = std::max(top, static_cast<size_t>(std::ceil(expected(*fit->mean))));
    const auto x_at = [&](double v) { return plot.left() + (v - lo) / (hi - lo) * plot.width(); };
    const auto y_at = [&](double c) { return plot.bottom() - c / static_cast<double>(top) * (plot.height() - 4); };
    p.setPen(QPen(Qt::white, 0.4));
    p.setBrush(kBar);
    for (int b = 0; b < count; ++b)
        p.drawRect(QRectF(plot.left() + b * plot.width() / count, y_at(static_cast<double>(bars.counts[b])),
                          plot.width() / count, plot.bottom() - y_at(static_cast<double>(bars.counts[b]))));
    p.setBrush(Qt::NoBrush);
    if (curve) {
        QPainterPath path;
        constexpr int kSteps = 200;
        for (int i = 0; i <= kSteps; ++i) {
            const double x = lo + (hi - lo) * i / kSteps;
            const QPointF point(x_at(x), std::max(plot.top(), y_at(expected(x))));
            i == 0 ? path.moveTo(point) : path.lineTo(point);
        }
        p.setPen(QPen(kCentre, 1.0));
        p.drawPath(path);
        w.text(plot.right() + 3, plot.top() + 12, log ? "fitted lognormal" : "fitted normal", 6.5,
               false, 70, Qt::AlignLeft, kCentre);
    }
    w.text(box.left(), plot.top() - 4, w.numbers.count(top), 6.5, false, 45, Qt::AlignRight);
    w.text(box.left(), plot.bottom() - 4, w.numbers.count(0), 6.5, false, 45, Qt::AlignRight);
    for (size_t k = 0; k < bars.at.size(); ++k) {
        p.setPen(QPen(kGrid, 0.5));
        p.drawLine(QPointF(x_at(bars.at[k]), plot.bottom()), QPointF(x_at(bars.at[k]), plot.bottom() + 2));
        w.label_at(x_at(bars.at[k]), plot.bottom() + 3, QString::fromStdString(bars.labels[k]),
                   box.left(), box.right());
    }
    for (const auto& [limit, name] : {std::pair{limits.lower, QString("LSL")},
                                      std::pair{limits.upper, QString("USL")}}) {
        // A limit of 0 or below has no place on a log axis.
        if (!limit || (log && *limit <= 0)) continue;
        const double x = x_at(log ? std::log10(*limit) : *limit);
        p.setPen(QPen(kLimit, 1.0, Qt::DashLine));
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        w.text(x + 2, plot.top() + 2, name, 6.5, false, 30);
    }
}

// The X-bar chart above the s chart, in `box`: the s chart gets four
// ninths of it.
void draw_control_charts(ChartPainter& w, const QRectF& box, const LotStatistics& s,
                         const FrozenChart* frozen) {
    const double height = control_chart_height(box.height());
    const bool log = s.scale == Scale::kLog;
    if (frozen) {
        const bool individuals = frozen->limits.kind == ChartKind::kIndividuals;
        std::vector<std::optional<double>> points, spreads, m_lcl, m_ucl, s_lcl, s_ucl, s_centre;
        std::vector<bool> point_out, spread_out;
        std::vector<PointMark> marks;
        for (const FrozenPoint& p : frozen->points) {
            points.push_back(p.point);
            spreads.push_back(p.spread);
            m_lcl.push_back(p.limits.mean_lcl);
            m_ucl.push_back(p.limits.mean_ucl);
            s_lcl.push_back(p.limits.spread_lcl);
            s_ucl.push_back(p.limits.spread_ucl);
            s_centre.push_back(p.limits.spread_centre);
            point_out.push_back(!p.tests.empty());
            const bool spread_broken =
                p.spread && ((p.limits.spread_ucl && *p.spread > *p.limits.spread_ucl) ||
                             (p.limits.spread_lcl && *p.spread < *p.limits.spread_lcl));
            spread_out.push_back(spread_broken);
            QStringList tests;
            for (const int t : p.tests) tests << QString::number(t);
            marks.push_back({tests.join(","), p.left_out.has_value(), !p.causes.empty()});
        }
        draw_chart(w, QRectF(box.left(), box.top(), box.width(), height),
                   QString(individuals ? "Individuals chart: each record's value, frozen limits"
                                       : log ? "X̄ chart: the geometric mean of each record, frozen limits"
                                             : "X̄ chart: the mean of each record, frozen limits") +
                       (log ? ", logarithmic axis" : ""),
                   points, point_out,
                   {{{frozen->limits.centre}, kCentre, Qt::SolidLine, individuals ? "X̄" : "X̿"},
                    {m_lcl, kLimit, Qt::DashLine, "LCL"},
                    {m_ucl, kLimit, Qt::DashLine, "UCL"}},
                   "record", marks, log);
        std::vector<PointMark> spread_marks(marks.size());
        for (size_t i = 0; i < marks.size(); ++i) spread_marks[i].left_out = marks[i].left_out;
        draw_chart(w, QRectF(box.left(), box.top() + height + 6, box.width(), height * 0.8),
                   QString(individuals ? "Moving range chart: to the point before" :
                                         "s chart: the standard deviation of each record") +
                       (log ? " in log10 of the values" : "") + ", frozen limits",
                   spreads, spread_out,
                   {{s_centre, kCentre, Qt::SolidLine, individuals ? "MR̄" : "s̄"},
                    {s_lcl, kLimit, Qt::DashLine, "LCL"},
                    {s_ucl, kLimit, Qt::DashLine, "UCL"}},
                   "record", spread_marks);
        return;
    }
    std::vector<std::optional<double>> means, sds, m_lcl, m_ucl, s_lcl, s_ucl;
    std::vector<bool> mean_out, sd_out;
    for (const LotPoint& p : s.points) {
        means.push_back(p.mean);
        sds.push_back(p.sd);
        m_lcl.push_back(p.mean_lcl);
        m_ucl.push_back(p.mean_ucl);
        s_lcl.push_back(p.sd_lcl);
        s_ucl.push_back(p.sd_ucl);
        mean_out.push_back(p.mean_outside);
        sd_out.push_back(p.sd_outside);
    }
    draw_chart(w, QRectF(box.left(), box.top(), box.width(), height),
               log ? "X̄ chart: the geometric mean of each record, logarithmic axis"
                   : "X̄ chart: the mean of each record",
               means, mean_out,
               {{{s.grand_mean}, kCentre, Qt::SolidLine, "X̿"},
                {m_lcl, kLimit, Qt::DashLine, "LCL"},
                {m_ucl, kLimit, Qt::DashLine, "UCL"}},
               "record", {}, log);
    draw_chart(w, QRectF(box.left(), box.top() + height + 6, box.width(), height * 0.8),
               log ? "s chart: the standard deviation of log10 of each record's values"
                   : "s chart: the standard deviation of each record",
               sds, sd_out,
               {{{s.s_bar}, kCentre, Qt::SolidLine, "s̄"},
                {s_lcl, kLimit, Qt::DashLine, "LCL"},
                {s_ucl, kLimit, Qt::DashLine, "UCL"}},
               "record");
}

void paint_control_charts(QPainter& painter, const QRectF& box, const Lot& lot,
                          const QLocale& locale, const FrozenChart* frozen) {
    // Drawn in the painter's units, with text sizes as in points.
    const ReportNumbers numbers(locale, lot);
    ChartPainter w{painter, numbers};
    draw_control_charts(w, box, lot.statistics, frozen);
}

}  // namespace tolvane
