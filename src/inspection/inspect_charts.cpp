#include "inspection/inspect_charts.h"

#include "inspection/inspect_models.h"
#include "quality/axis_ticks.h"
#include "quality/distribution.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QFontMetricsF>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>

namespace tolvane {

namespace {

// Colours told apart by people who do not see red and green apart too: the
// limits red and solid, the nominal grey and dotted, the mean blue-green and
// dashed, the values dark blue.
const QColor kValueColour(0x1f, 0x4e, 0x9a);
const QColor kLimitColour(0xc0, 0x1c, 0x28);
const QColor kMeanColour(0x00, 0x80, 0x80);
const QColor kNominalColour(0x5e, 0x5c, 0x64);

QLineSeries* line_series(QChart* chart, const QString& name, const QColor& colour,
                         Qt::PenStyle style, qreal width = 1.5) {
    auto* series = new QLineSeries(chart);
    series->setName(name);
    QPen pen(colour, width, style);
    pen.setCosmetic(true);
    series->setPen(pen);
    chart->addSeries(series);
    return series;
}

void attach(QChart* chart, QAbstractAxis* x, QAbstractAxis* y) {
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
}

QChart* new_chart(QWidget* owner, QChartView*& view, const QString& title,
                  const QString& accessible) {
    auto* chart = new QChart;
    chart->setTitle(title);
    QFont font = chart->titleFont();
    font.setBold(true);
    chart->setTitleFont(font);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setLocalizeNumbers(true);
    // The regional decimal separator, but no group separators: they make
    // the labels of an axis too long to fit.
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    chart->setLocale(locale);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setBackgroundRoundness(0);
    chart->legend()->setAlignment(Qt::AlignBottom);
    view = new QChartView(chart, owner);
    view->setRenderHint(QPainter::Antialiasing);
    view->setAccessibleName(accessible);
    view->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    return chart;
}

QValueAxis* new_axis(QChart* chart, Qt::Alignment where, const QString& title) {
    auto* axis = new QValueAxis(chart);
    // A count of ticks, never an interval: see round_axis.
    axis->setTickType(QValueAxis::TicksFixed);
    axis->setTitleText(title);
    QFont font = axis->titleFont();
    font.setBold(false);
    axis->setTitleFont(font);
    chart->addAxis(axis, where);
    return axis;
}

// Shows a series and its legend entry only when it has something to draw.
void set_shown(QChart* chart, QAbstractSeries* series, bool shown) {
    series->setVisible(shown);
    for (QLegendMarker* marker : chart->legend()->markers(series))
        marker->setVisible(shown);
}

void horizontal(QChart* chart, QLineSeries* series, std::optional<double> y, double x0, double x1) {
    if (y)
        series->replace({QPointF(x0, *y), QPointF(x1, *y)});
    else
        series->clear();
    set_shown(chart, series, y.has_value());
}

void vertical(QChart* chart, QLineSeries* series, std::optional<double> x, double y0, double y1) {
    if (x)
        series->replace({QPointF(*x, y0), QPointF(*x, y1)});
    else
        series->clear();
    set_shown(chart, series, x.has_value());
}

// 1, 2 or 5 times a power of ten, so that `span` takes about `ticks` steps.
double nice_step(double span, int ticks) {
    const double raw = span / std::max(1, ticks);
    if (!(raw > 0) || !std::isfinite(raw)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * power) return m * power;
    return 10 * power;
}

// Qt's own label format for a display form: the chart writes the numbers
// in its locale (the decimal separator, no group separators), with the
// same digits as the display forms everywhere else.
QString label_format(const NumberForm& form) {
    return QString("%.%1%2").arg(form.decimals).arg(form.scientific ? 'E' : 'f');
}

// A value axis over [low, high] with round ticks, as many as its `length`
// in pixels holds with room around each label, and no more than `most`.
// The ticks are fixed in number: an interval that Qt would lay out over a
// range of fifteen decades is never set.
void round_axis(QValueAxis* axis, double low, double high, double length, bool across,
                int most) {
    const QFontMetricsF metrics(axis->labelsFont());
    const NumberSymbols symbols = number_symbols(QLocale());
    AxisTicks ticks;
    for (int wanted = most; wanted >= 1; --wanted) {
        ticks = axis_ticks(low, high, wanted);
        double widest = 0;
        for (const std::string& label : ticks.labels(symbols))
            widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(label)));
        const double each = across ? widest + metrics.averageCharWidth() * 2
                                   : metrics.height() * 1.6;
        if ((ticks.intervals + 1) * each <= length) break;
    }
    axis->setTickCount(ticks.intervals + 1);
    axis->setRange(ticks.from, ticks.to);
    axis->setLabelFormat(label_format(ticks.form));
}

// The room of an axis: the plot area once the chart has laid itself out,
// else the view less what labels and legend take.
double plot_length(const QChart* chart, const QChartView* view, bool across) {
    const QRectF plot = chart->plotArea();
    if (plot.width() > 20 && plot.height() > 20) return across ? plot.width() : plot.height();
    return std::max(40, across ? view->width() - 90 : view->height() - 110);
}

// The extent of the values and of the lines that are drawn.
void widen(double& low, double& high, const ChartLines& lines) {
    for (const std::optional<double>& at : {lines.mean, lines.nominal, lines.lsl, lines.usl}) {
        if (!at || !std::isfinite(*at)) continue;
        low = std::min(low, *at);
        high = std::max(high, *at);
    }
}

// The lines that can be drawn on the scale: on the log one none at or below 0.
ChartLines drawable(ChartLines lines) {
    if (lines.scale != Scale::kLog) return lines;
    for (std::optional<double>* at : {&lines.mean, &lines.nominal, &lines.lsl, &lines.usl})
        if (*at && !(**at > 0)) at->reset();
    return lines;
}

QLogValueAxis* new_log_axis(QWidget* owner, const QString& title, const QFont& title_font) {
    auto* axis = new QLogValueAxis(owner);
    axis->setBase(10);
    // Powers of ten alone: minor ticks between them are never laid out, and
    // "%.3g" writes 1e+15 as briefly as 0.01 (a localised chart shows no
    // label for a format without its precision).
    axis->setMinorTickCount(0);
    axis->setLabelFormat("%.3g");
    axis->setTitleText(title);
    axis->setTitleFont(title_font);
    return axis;
}

// Puts `to` in the place of `from` on the chart, every series with it; the
// axis taken off stays with `owner` for the next change of scale.
void swap_axis(QChart* chart, QWidget* owner, QAbstractAxis* from, QAbstractAxis* to,
               Qt::Alignment where) {
    // The old points may have no logarithm: gone before the log axis comes.
    for (QAbstractSeries* series : chart->series())
        if (auto* xy = qobject_cast<QXYSeries*>(series)) xy->clear();
    chart->removeAxis(from);
    from->setParent(owner);
    chart->addAxis(to, where);
    for (QAbstractSeries* series : chart->series()) series->attachAxis(to);
}

}  // namespace

void log_axis(QLogValueAxis* axis, double low, double high, double length, bool across,
              int most) {
    // Within a double's normal range at both ends.
    if (std::isnan(low) || !(low > 0)) low = 1e-300;
    if (std::isnan(high) || !(high >= low)) high = low;
    low = std::clamp(low, 1e-300, 1e300);
    high = std::clamp(high, low, 1e300);
    int from = static_cast<int>(std::floor(std::log10(low) + 1e-9));
    int to = static_cast<int>(std::ceil(std::log10(high) - 1e-9));
    if (to <= from) to = from + 1;
    const QFontMetricsF metrics(axis->labelsFont());
    const double each = across ? metrics.horizontalAdvance("1e+300") + metrics.averageCharWidth() * 2
                               : metrics.height() * 1.6;
    const int room = std::max(2, std::min(most, static_cast<int>(length / each)));
    // Decades a tick: 1, 2, 5, ... 300; the range stays within 1e-300 to
    // 1e300, whose exponents these divide.
    int step = 1, first = from, last = to;
    for (const int candidate : {1, 2, 5, 10, 20, 50, 100, 300}) {
        step = candidate;
        first = static_cast<int>(std::floor(double(from) / step)) * step;
        last = std::max(static_cast<int>(std::ceil(double(to) / step)) * step, first + step);
        if ((last - first) / step + 1 <= room) break;
    }
    // The range of the data's own decades when it holds two ticks of the
    // step (a histogram of 1e-2 to 1e16 spans 18 decades, not 40); else the
    // step's multiples around them.
    const int inside = static_cast<int>(std::floor(double(to) / step)) -
                       static_cast<int>(std::ceil(double(from) / step)) + 1;
    if (inside < 2) {
        from = first;
        to = last;
    }
    // The base first: a range of many decades under a base of 10 would lay
    // out a tick for each.
    axis->setBase(std::pow(10.0, step));
    // A hair below the lowest power: Qt finds its first tick by rounding up
    // a logarithm, and 1e-6 may come out a hair above -6.
    axis->setRange(std::pow(10.0, from) * (1 - 1e-9), std::pow(10.0, to));
}

std::pair<double, double> padded_range(double min, double max) {
    if (!std::isfinite(min) || !std::isfinite(max) || min > max) return {0, 1};
    double room = (max - min) * 0.08;
    if (room == 0) room = std::max(std::abs(min) * 0.01, 1e-3);
    // Readings are never negative: an axis of them starts at 0 at the least.
    return {min >= 0 ? std::max(0.0, min - room) : min - room, max + room};
}

RunChart::RunChart(QWidget* parent) : QWidget(parent) {
    chart_ = new_chart(this, view_, tr("Run chart"),
                       tr("Run chart: the values in order, with the mean, nominal and limits"));
    values_ = line_series(chart_, tr("Values"), kValueColour, Qt::SolidLine, 1.0);
    inside_ = new QScatterSeries(chart_);
    inside_->setName(tr("Within"));
    inside_->setMarkerSize(6);
    inside_->setColor(kValueColour);
    inside_->setBorderColor(kValueColour);
    chart_->addSeries(inside_);
    outside_ = new QScatterSeries(chart_);
    outside_->setName(tr("Outside"));
    outside_->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    outside_->setMarkerSize(9);
    outside_->setColor(kLimitColour);
    outside_->setBorderColor(kLimitColour);
    chart_->addSeries(outside_);
    mean_ = line_series(chart_, tr("Mean"), kMeanColour, Qt::DashLine);
    nominal_ = line_series(chart_, tr("Nominal"), kNominalColour, Qt::DotLine);
    lsl_ = line_series(chart_, tr("LSL"), kLimitColour, Qt::SolidLine);
    usl_ = line_series(chart_, tr("USL"), kLimitColour, Qt::SolidLine);
    x_ = new_axis(chart_, Qt::AlignBottom, tr("Value number"));
    y_ = new_axis(chart_, Qt::AlignLeft, QString());
    y_log_ = new_log_axis(this, QString(), y_->titleFont());
    attach(chart_, x_, y_);
    for (QLegendMarker* marker : chart_->legend()->markers(values_))
        marker->setVisible(false);
    clear();
}

void RunChart::show_values(const std::vector<std::optional<double>>& values,
                           const ChartLines& lines, size_t total) {
    const size_t count = std::min(values.size(), kMaxPoints);
    total = std::max(total, values.size());
    const bool log = lines.scale == Scale::kLog;
    if (lines.scale != scale_) {
        swap_axis(chart_, this, log ? static_cast<QAbstractAxis*>(y_) : y_log_,
                  log ? static_cast<QAbstractAxis*>(y_log_) : y_, Qt::AlignLeft);
        scale_ = lines.scale;
    }
    const ChartLines drawn = drawable(lines);
    QList<QPointF> line, inside, outside;
    line.reserve(count);
    double low = INFINITY, high = -INFINITY;
    for (size_t i = 0; i < count; ++i) {
        const double x = static_cast<double>(i + 1);
        if (!values[i] || !std::isfinite(*values[i]) || (log && !(*values[i] > 0))) {
            // A gap: the line series cannot skip a point, so it ends here and
            // the points either side stay unconnected only in the markers.
            continue;
        }
        const double v = *values[i];
        line.append(QPointF(x, v));
        const bool out = (lines.lsl && v < *lines.lsl) || (lines.usl && v > *lines.usl);
        (out ? outside : inside).append(QPointF(x, v));
        low = std::min(low, v);
        high = std::max(high, v);
    }
    const double last = std::max<double>(static_cast<double>(count), 1);
    // Nothing to draw: no axes either, only the title saying so.
    x_->setVisible(!line.isEmpty());
    y_->setVisible(!line.isEmpty());
    y_log_->setVisible(!line.isEmpty());
    values_->replace(line);
    inside_->replace(inside);
    outside_->replace(outside);
    set_shown(chart_, outside_, !outside.isEmpty());
    set_shown(chart_, inside_, !inside.isEmpty());
    if (line.isEmpty()) {
        low = log ? 1 : 0;
        high = log ? 10 : 1;
    }
    widen(low, high, drawn);
    if (log) {
        y_low_ = low;
        y_high_ = high;
    } else {
        std::tie(y_low_, y_high_) = padded_range(low, high);
    }
    x_high_ = last + 1;
    lay_out_axes();
    // The lines reach the end of the widest axis the window's size may give.
    const double end = axis_ticks(0, x_high_, 1).to;
    horizontal(chart_, mean_, line.isEmpty() ? std::nullopt : drawn.mean, 0, end);
    horizontal(chart_, nominal_, drawn.nominal, 0, end);
    horizontal(chart_, lsl_, drawn.lsl, 0, end);
    horizontal(chart_, usl_, drawn.usl, 0, end);
    chart_->setTitle(line.isEmpty() ? tr("Run chart: no values")
                     : total > count
                         ? tr("Run chart (values 1 to %1 of %2)")
                               .arg(QLocale().toString(qulonglong(count)),
                                    QLocale().toString(qulonglong(total)))
                         : tr("Run chart"));
}

void RunChart::lay_out_axes() {
    round_axis(x_, 0, x_high_, plot_length(chart_, view_, true), true, 10);
    if (scale_ == Scale::kLog)
        log_axis(y_log_, y_low_, y_high_, plot_length(chart_, view_, false), false, 6);
    else
        round_axis(y_, y_low_, y_high_, plot_length(chart_, view_, false), false, 6);
}

void RunChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    lay_out_axes();
}

Histogram::Histogram(QWidget* parent) : QWidget(parent) {
    chart_ = new_chart(this, view_, tr("Histogram"),
                       tr("Histogram: how many values fall into each class, with the limits"));
    outline_ = new QLineSeries(chart_);
    base_ = new QLineSeries(chart_);
    bars_ = new QAreaSeries(outline_, base_);
    bars_->setName(tr("Values"));
    QPen pen(kValueColour, 1);
    pen.setCosmetic(true);
    bars_->setPen(pen);
    QColor fill = kValueColour;
    fill.setAlpha(110);
    bars_->setBrush(fill);
    chart_->addSeries(bars_);
    density_ = line_series(chart_, tr("Fitted normal"), kValueColour, Qt::SolidLine, 2);
    mean_ = line_series(chart_, tr("Mean"), kMeanColour, Qt::DashLine);
    nominal_ = line_series(chart_, tr("Nominal"), kNominalColour, Qt::DotLine);
    lsl_ = line_series(chart_, tr("LSL"), kLimitColour, Qt::SolidLine);
    usl_ = line_series(chart_, tr("USL"), kLimitColour, Qt::SolidLine);
    x_ = new_axis(chart_, Qt::AlignBottom, QString());
    y_ = new_axis(chart_, Qt::AlignLeft, tr("Count"));
    x_log_ = new_log_axis(this, QString(), x_->titleFont());
    attach(chart_, x_, y_);
    clear();
}

void Histogram::show_values(const std::vector<double>& values, const ChartLines& lines) {
    const bool log = lines.scale == Scale::kLog;
    if (lines.scale != scale_) {
        swap_axis(chart_, this, log ? static_cast<QAbstractAxis*>(x_) : x_log_,
                  log ? static_cast<QAbstractAxis*>(x_log_) : x_, Qt::AlignBottom);
        scale_ = lines.scale;
    }
    // Everything below in the scale's terms: log10 of the values on the log
    // scale, where those at 0 or below have none and are not drawn.
    std::vector<double> xs;
    xs.reserve(values.size());
    for (double v : values)
        if (std::isfinite(v) && (!log || v > 0)) xs.push_back(to_scale(v, lines.scale));
    ChartLines drawn = drawable(lines);
    for (std::optional<double>* at : {&drawn.mean, &drawn.nominal, &drawn.lsl, &drawn.usl})
        if (*at) **at = to_scale(**at, lines.scale);
    double low = INFINITY, high = -INFINITY;
    for (double x : xs) {
        low = std::min(low, x);
        high = std::max(high, x);
    }
    const bool any = low <= high;
    const double min_value = low;
    if (!any) {
        low = 0;
        high = 1;
    }
    if (!any) drawn.mean.reset();
    widen(low, high, drawn);
    if (!(high > low)) std::tie(low, high) = padded_range(low, high);
    // Classes of a round width. On the linear scale centred on its multiples:
    // readings of a few digits then stand in the middle of their class, and
    // a limit on such a reading runs through the class's middle. On the log
    // scale their edges are the multiples, so that a decade's edges are
    // edges. A reading on an edge belongs to the class above it, whatever
    // the rounding.
    constexpr double kEdge = 1e-9;
    const int wanted = std::clamp(
        static_cast<int>(std::ceil(1.5 * std::sqrt(double(xs.size())))) + 2, 8, kMaxBins);
    double width = nice_step(high - low, wanted);
    if (!(width > 0) || !std::isfinite(width)) width = 1;
    while ((high - low) / width + 2 > kMaxBins)
        width = nice_step(width * 2.5, 1);
    const double first = log ? std::floor(low / width + kEdge) * width
                             : (std::floor(low / width + 0.5 + kEdge) - 0.5) * width;
    const int bins = std::clamp(static_cast<int>(std::floor((high - first) / width + kEdge)) + 1,
                                1, kMaxBins);
    std::vector<int> counts(static_cast<size_t>(bins), 0);
    for (double x : xs) {
        const int bin =
            std::clamp(static_cast<int>(std::floor((x - first) / width + kEdge)), 0, bins - 1);
        ++counts[static_cast<size_t>(bin)];
    }
    low = first;
    high = first + bins * width;
    // Readings are never below 0: nor is their axis.
    if (!log && low < 0 && !(min_value < 0)) low = 0;
    // Class edges beyond a double's range stay at its end.
    const auto at = [&](double x) {
        return log ? std::clamp(from_scale(x, lines.scale), 1e-300, 1e300) : x;
    };
    QList<QPointF> outline, base;
    int most = 0;
    for (int b = 0; b < bins; ++b) {
        const double left = low + b * width, right = left + width;
        const int c = any ? counts[static_cast<size_t>(b)] : 0;
        // Down to the axis at each edge, so that neighbours of one height
        // stay two bars.
        outline << QPointF(at(left), 0) << QPointF(at(left), c) << QPointF(at(right), c)
                << QPointF(at(right), 0);
        base << QPointF(at(left), 0) << QPointF(at(left), 0) << QPointF(at(right), 0)
             << QPointF(at(right), 0);
        most = std::max(most, c);
    }
    outline_->replace(outline);
    base_->replace(base);
    bins_ = any ? bins : 0;
    // The fitted density as counts of a class: n * width * pdf, the width and
    // the density both in the scale's terms (of the logs on the log scale).
    QList<QPointF> curve;
    double peak = 0;
    if (any && lines.fit_mean && lines.fit_sd && *lines.fit_sd > 0) {
        constexpr int kSteps = 120;
        for (int i = 0; i <= kSteps; ++i) {
            const double x = low + (high - low) * i / kSteps;
            const double y = fitted_class_count(x, *lines.fit_mean, *lines.fit_sd, xs.size(), width);
            curve << QPointF(at(x), y);
            peak = std::max(peak, y);
        }
    }
    density_->replace(curve);
    density_->setName(log ? tr("Fitted lognormal") : tr("Fitted normal"));
    set_shown(chart_, density_, !curve.isEmpty());
    x_low_ = low;
    x_high_ = high;
    y_high_ = std::max({1.0, double(most), peak}) * 1.1;
    lay_out_axes();
    // The lines reach the top of the highest axis the window's size may give.
    const double top = axis_ticks(0, y_high_, 1).to;
    for (std::optional<double>* line : {&drawn.mean, &drawn.nominal, &drawn.lsl, &drawn.usl})
        if (*line) **line = at(**line);
    vertical(chart_, mean_, drawn.mean, 0, top);
    vertical(chart_, nominal_, drawn.nominal, 0, top);
    vertical(chart_, lsl_, drawn.lsl, 0, top);
    vertical(chart_, usl_, drawn.usl, 0, top);
    x_->setVisible(any);
    x_log_->setVisible(any);
    y_->setVisible(any);
    bars_->setVisible(any);
    // The bars explain themselves; the lines are named as in the run chart.
    for (QLegendMarker* marker : chart_->legend()->markers(bars_))
        marker->setVisible(false);
    chart_->setTitle(any ? tr("Histogram") : tr("Histogram: no values"));
}

void Histogram::lay_out_axes() {
    if (scale_ == Scale::kLog)
        log_axis(x_log_, from_scale(x_low_, scale_), from_scale(x_high_, scale_),
                 plot_length(chart_, view_, true), true, 8);
    else
        round_axis(x_, x_low_, x_high_, plot_length(chart_, view_, true), true, 8);
    // Counts are whole numbers: no step below 1.
    const int most = std::clamp(static_cast<int>(std::ceil(y_high_)), 1, 5);
    round_axis(y_, 0, y_high_, plot_length(chart_, view_, false), false, most);
}

void Histogram::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    lay_out_axes();
}

}  // namespace tolvane
