#include "shell/lot_report.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <functional>

#include "inspect/axis_ticks.h"
#include "inspect/display_number.h"
#include "shell/inspect_models.h"

namespace tolvane {

namespace {

// Everything is drawn in points (1/72 inch) on A4 with margins of 15 mm.
constexpr double kPageWidth = 595.28, kPageHeight = 841.89, kMargin = 42.5;
constexpr double kContentWidth = kPageWidth - 2 * kMargin;
constexpr double kTop = kMargin, kBottom = kPageHeight - kMargin - 18;  // above the footer
constexpr double kRow = 12.5;  // a line of the values table

const QColor kInk(0x20, 0x20, 0x20), kGrid(0xc8, 0xc8, 0xc8), kLimit(0xc0, 0x1c, 0x28),
    kCentre(0x1a, 0x5f, 0xb4), kSeries(0x24, 0x24, 0x24), kBar(0x99, 0xc1, 0xf1), kMuted(0x60, 0x60, 0x60);

QFont font(double size, bool bold = false) {
    QFont f("DejaVu Sans");
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(size * 4))));
    f.setBold(bold);
    return f;
}

// The forms of the figures: the values' own for those in their unit, two
// decimals more for the mean and the standard deviations.
struct Forms {
    NumberForm values, derived;
};

Forms forms_of(const Lot& lot) {
    std::vector<double> all;
    for (const Record& r : lot.records)
        for (const RecordValue& v : r.values)
            if (v.number) all.push_back(v.number->value());
    return {form_of(all), form_of(all, 2)};
}

// Figures in the user's regional form.
struct Format {
    const QLocale& locale;
    Forms forms;

    QString value(std::optional<double> x) const { return display_text(x, forms.values, locale); }
    QString derived(std::optional<double> x) const {
        return display_text(x, forms.derived, locale);
    }
    QString ratio(std::optional<double> x) const {
        return x ? locale.toString(*x, 'f', 2) : QString::fromUtf8("—");
    }
    QString count(size_t n) const { return locale.toString(qulonglong(n)); }
};

// Text size in points: fonts are set in quarter points (pixel sizes are whole
// numbers) and the painter scaled by four more.
struct Writer {
    QPainter& p;
    const QLocale& locale;

    void text(double x, double y, const QString& s, double size = 9, bool bold = false,
              double width = 0, Qt::Alignment align = Qt::AlignLeft, QColor colour = kInk) {
        p.save();
        p.scale(0.25, 0.25);
        p.setFont(font(size, bold));
        p.setPen(colour);
        const QFontMetricsF m(p.font());
        QString shown = s;
        if (width > 0) shown = m.elidedText(s, Qt::ElideRight, width * 4);
        const double w = m.horizontalAdvance(shown);
        double left = x * 4;
        if (align & Qt::AlignRight) left = (x + width) * 4 - w;
        p.drawText(QPointF(left, y * 4 + m.ascent()), shown);
        p.restore();
    }

    // A tick's label, centred on `x`, within the page's content.
    void label_at(double x, double y, const QString& s) {
        const double width = 64;
        const double left = std::clamp(x - width / 2, kMargin, kPageWidth - kMargin - width);
        p.save();
        p.scale(0.25, 0.25);
        p.setFont(font(6.5));
        p.setPen(kInk);
        const QFontMetricsF m(p.font());
        const double w = m.horizontalAdvance(s);
        const double at = std::clamp(x * 4 - w / 2, left * 4, (left + width) * 4 - w);
        p.drawText(QPointF(at, y * 4 + m.ascent()), s);
        p.restore();
    }
};

// A number alone, in the form it needs.
QString alone(double x, const QLocale& locale) {
    return QString::fromStdString(display_text(x, number_symbols(locale)));
}

// The most values of one record the report draws and lists: as many as
// the instrument sends in a record.
constexpr size_t kMaxListed = 256;

QString tolerance_text(const Lot& lot, const Writer& w) {
    if (lot.mixed_tolerances)
        return "the records have different tolerances: no limits for the lot as a whole";
    if (!lot.tolerance) return "none set for this description";
    const ToleranceEntry& t = *lot.tolerance;
    const Limits limits = limits_of(t);
    QString text;
    if (t.nominal) {
        text = "nominal " + alone(*t.nominal, w.locale);
        if (t.lower) text += ", lower deviation " + alone(*t.lower, w.locale);
        if (t.upper) text += ", upper deviation " + alone(*t.upper, w.locale);
        text += "; ";
    }
    text += "LSL " + (limits.lower ? alone(*limits.lower, w.locale) : QString("none")) +
            ", USL " + (limits.upper ? alone(*limits.upper, w.locale) : QString("none"));
    return text;
}

// A chart of one series against its index: the points, lines across, and
// limits that may step from point to point.
struct Line {
    std::vector<std::optional<double>> y;  // per point (one entry: constant)
    QColor colour;
    Qt::PenStyle style;
    QString label;
};

void draw_chart(Writer& w, const QRectF& box, const QString& title,
                const std::vector<std::optional<double>>& points, const std::vector<bool>& outside,
                const std::vector<Line>& lines, const QString& x_label) {
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
    for (const Line& l : lines)
        for (const auto& y : l.y) take(y);
    if (!(lo <= hi)) lo = 0, hi = 1;
    const double pad = (hi - lo) * 0.08;
    // Readings and standard deviations are never below 0: nor is their axis.
    lo = lo >= 0 ? std::max(0.0, lo - pad) : lo - pad;
    hi += pad;
    const AxisTicks ticks = axis_ticks(lo, hi, 5);
    lo = ticks.from;
    hi = ticks.to;
    const size_t count = std::max<size_t>(points.size(), 1);
    const auto x_at = [&](double i) { return plot.left() + (i + 0.5) * plot.width() / count; };
    const auto y_at = [&](double y) { return plot.bottom() - (y - lo) / (hi - lo) * plot.height(); };

    p.setPen(QPen(kGrid, 0.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    {
        const std::vector<double> at = ticks.values();
        const std::vector<std::string> tick_labels = ticks.labels(number_symbols(w.locale));
        for (size_t k = 0; k < at.size(); ++k) {
            p.setPen(QPen(kGrid, 0.3));
            p.drawLine(QPointF(plot.left(), y_at(at[k])), QPointF(plot.right(), y_at(at[k])));
            w.text(box.left(), y_at(at[k]) - 4, QString::fromStdString(tick_labels[k]), 6.5, false,
                   45, Qt::AlignRight);
        }
    }
    w.text(plot.left(), plot.bottom() + 3, x_label + " 1 … " + w.locale.toString(qulonglong(points.size())), 6.5,
           false, plot.width());

    // Each line as one path (steps where the limits change from point to
    // point), its label at the right, labels kept apart.
    std::vector<std::pair<double, QString>> labels;
    for (const Line& l : lines) {
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
    }
    p.setBrush(Qt::NoBrush);
}

void draw_histogram(Writer& w, const QRectF& box, const std::vector<double>& values,
                    const Limits& limits) {
    QPainter& p = w.p;
    w.text(box.left(), box.top(), "Histogram of all values", 9, true, box.width());
    const QRectF plot(box.left() + 48, box.top() + 16, box.width() - 48 - 74, box.height() - 30);
    p.setPen(QPen(kGrid, 0.5));
    p.drawRect(plot);
    if (values.empty()) return;
    const double min = *std::min_element(values.begin(), values.end());
    double lo = min, hi = *std::max_element(values.begin(), values.end());
    if (limits.lower) lo = std::min(lo, *limits.lower);
    if (limits.upper) hi = std::max(hi, *limits.upper);
    const double pad = (hi - lo) * 0.05;
    // Readings are never below 0: nor is their axis.
    lo = lo >= 0 ? std::max(0.0, lo - pad) : lo - pad;
    hi += pad;
    // Classes between round ticks: two, four or five to each step.
    const AxisTicks ticks = axis_ticks(lo, hi, 6);
    lo = ticks.from;
    hi = ticks.to;
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
    const int bins = ticks.intervals * per_step;
    std::vector<size_t> counts(bins);
    for (const double v : values)
        ++counts[std::clamp(static_cast<int>(std::floor((v - lo) / (hi - lo) * bins + 1e-9)), 0,
                            bins - 1)];
    const size_t top = std::max<size_t>(1, *std::max_element(counts.begin(), counts.end()));
    const auto x_at = [&](double v) { return plot.left() + (v - lo) / (hi - lo) * plot.width(); };
    p.setPen(QPen(Qt::white, 0.4));
    p.setBrush(kBar);
    for (int b = 0; b < bins; ++b) {
        const double h = static_cast<double>(counts[b]) / top * (plot.height() - 4);
        p.drawRect(QRectF(plot.left() + b * plot.width() / bins, plot.bottom() - h,
                          plot.width() / bins, h));
    }
    p.setBrush(Qt::NoBrush);
    w.text(box.left(), plot.top() - 4, w.locale.toString(qulonglong(top)), 6.5, false, 45,
           Qt::AlignRight);
    w.text(box.left(), plot.bottom() - 4, w.locale.toString(0), 6.5, false, 45, Qt::AlignRight);
    const std::vector<double> at = ticks.values();
    const std::vector<std::string> labels = ticks.labels(number_symbols(w.locale));
    for (size_t k = 0; k < at.size(); ++k) {
        p.setPen(QPen(kGrid, 0.5));
        p.drawLine(QPointF(x_at(at[k]), plot.bottom()), QPointF(x_at(at[k]), plot.bottom() + 2));
        w.label_at(x_at(at[k]), plot.bottom() + 3, QString::fromStdString(labels[k]));
    }
    for (const auto& [limit, name] : {std::pair{limits.lower, QString("LSL")},
                                      std::pair{limits.upper, QString("USL")}}) {
        if (!limit) continue;
        p.setPen(QPen(kLimit, 1.0, Qt::DashLine));
        p.drawLine(QPointF(x_at(*limit), plot.top()), QPointF(x_at(*limit), plot.bottom()));
        w.text(x_at(*limit) + 2, plot.top() + 2, name, 6.5, false, 30);
    }
}

// The X-bar chart above the s chart, in `box`: the s chart gets four
// ninths of it.
void control_charts(Writer& w, const QRectF& box, const LotStatistics& s) {
    const double height = (box.height() - 6) / 1.8;
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
               "X̄ chart: the mean of each record", means, mean_out,
               {{{s.grand_mean}, kCentre, Qt::SolidLine, "X̿"},
                {m_lcl, kLimit, Qt::DashLine, "LCL"},
                {m_ucl, kLimit, Qt::DashLine, "UCL"}},
               "record");
    draw_chart(w, QRectF(box.left(), box.top() + height + 6, box.width(), height * 0.8),
               "s chart: the standard deviation of each record", sds, sd_out,
               {{{s.s_bar}, kCentre, Qt::SolidLine, "s̄"},
                {s_lcl, kLimit, Qt::DashLine, "LCL"},
                {s_ucl, kLimit, Qt::DashLine, "UCL"}},
               "record");
}

std::vector<LotFigure> figures(const Lot& lot, const Format& w) {
    const LotStatistics& s = lot.statistics;
    const Statistics& o = s.overall;
    std::vector<LotFigure> f;
    const QString overall_s = "σ = s of all values";
    QString within;
    switch (s.sigma_source) {
        case SigmaSource::kSBarOverC4:
            within = QString("σ within = s̄ / c4(%1)").arg(*s.subgroup_size);
            break;
        case SigmaSource::kPooled: within = "σ within = pooled s (sizes differ)"; break;
        case SigmaSource::kNone: within = "no record with a spread"; break;
    }
    f.push_back({"Records", w.count(s.records), ""});
    f.push_back({"Values (n)", w.count(o.n), ""});
    // Records longer than the instrument sends were made by hand: only their
    // first values are read, and the figures say how many they leave out.
    size_t unread = 0;
    for (const Record& r : lot.records) unread += r.value_count - r.values.size();
    if (unread > 0)
        f.push_back({"Values not read", w.count(unread),
                     QString("beyond the first %1 of a record").arg(kKeptValues)});
    f.push_back({"Mean", w.derived(o.mean), ""});
    f.push_back({"Standard deviation s", w.derived(o.sd), "sample, n − 1"});
    f.push_back({"Minimum", w.value(o.min), ""});
    f.push_back({"Maximum", w.value(o.max), ""});
    f.push_back({"Range", w.value(o.range), ""});
    if (o.has_limits) {
        f.push_back({"Below LSL / above USL",
                     w.count(o.below) + " / " + w.count(o.above), ""});
        f.push_back({"Out of tolerance",
                     o.share_out ? w.locale.toString(*o.share_out * 100, 'f', 2) + " %" : "—", ""});
    }
    // One record is one sample: its own s is the sigma of everything.
    const bool several = s.records > 1;
    if (several) f.push_back({"Within-record σ", w.derived(s.sigma_within), within});
    if (o.has_limits) {
        f.push_back({"Pp", w.ratio(o.pp), overall_s});
        f.push_back({"Ppk", w.ratio(o.ppk), overall_s});
        if (several) {
            f.push_back({"Cp", w.ratio(s.cp), within});
            f.push_back({"Cpk", w.ratio(s.cpk), within});
        }
    }
    if (s.records > 1) {
        f.push_back({"X̄ chart: records outside", w.count(s.mean_outside),
                     "limits X̿ ± A3·s̄"});
        f.push_back({"s chart: records outside", w.count(s.sd_outside),
                     "limits B3·s̄, B4·s̄"});
        f.push_back({"Left out of the s chart", w.count(s.without_sd),
                     "records of one value"});
    }
    return f;
}

class Pages {
  public:
    Pages(QPagedPaintDevice& device, QPainter& painter, const Lot& lot, const QLocale& locale,
          const QDateTime& made, int count)
        : device_(device), p_(painter), w_{painter, locale}, lot_(lot),
          made_(made), count_(count) {
        place();
    }
    Writer& writer() { return w_; }
    void next() {
        footer();
        device_.newPage();
        ++page_;
        place();
    }
    void finish() { footer(); }

  private:
    // Points on the page, whatever the device's resolution.
    void place() {
        p_.resetTransform();
        const QRect paint = device_.pageLayout().paintRectPixels(device_.logicalDpiX());
        const QRect full = device_.pageLayout().fullRectPixels(device_.logicalDpiX());
        // A4 as drawn, made to fit another paper a printer may hold (Letter).
        const QRectF paper = device_.pageLayout().fullRect(QPageLayout::Point);
        const double fit = std::min(1.0, std::min(paper.width() / kPageWidth, paper.height() / kPageHeight));
        const double scale = device_.logicalDpiX() / 72.0 * fit;
        // The painter's origin is the paint rectangle's corner.
        p_.translate(-(paint.left() - full.left()), -(paint.top() - full.top()));
        p_.scale(scale, scale);
    }
    void footer() {
        p_.setPen(QPen(kGrid, 0.5));
        p_.drawLine(QPointF(kMargin, kBottom + 4), QPointF(kPageWidth - kMargin, kBottom + 4));
        w_.text(kMargin, kBottom + 7,
                "KLD-350 inspection report · " + QString::fromStdString(lot_.file) + " · made " +
                    w_.locale.toString(made_, QLocale::ShortFormat),
                7, false, kContentWidth - 80);
        w_.text(kPageWidth - kMargin - 80, kBottom + 7,
                QString("Page %1 of %2").arg(page_).arg(count_), 7, false, 80, Qt::AlignRight);
    }

    QPagedPaintDevice& device_;
    QPainter& p_;
    Writer w_;
    const Lot& lot_;
    QDateTime made_;
    int page_ = 1, count_;
};

struct Column {
    QString title;
    double width;
    Qt::Alignment align;
};
const std::vector<Column> kColumns = {
    {"Record", 38, Qt::AlignRight}, {"Time", 92, Qt::AlignLeft},
    {"Description", 120, Qt::AlignLeft}, {"No.", 26, Qt::AlignRight},
    {"Value", 70, Qt::AlignRight},  {"Deviation", 64, Qt::AlignRight},
    {"Verdict", 64, Qt::AlignLeft},
};
constexpr double kTableTop = kTop + 34;
constexpr double kColumnGap = 6;

int rows_per_page() { return static_cast<int>((kBottom - kTableTop - kRow) / kRow); }

// The rows of a record in the table: its values up to kMaxListed, and a
// line for those left out.
// A record's rows in the table: its values, at most kMaxListed, and a line
// for those not listed (beyond that, or beyond what was read of it).
size_t rows_of(const Record& r) {
    const size_t listed = std::min(r.values.size(), kMaxListed);
    return r.value_count > listed ? listed + 1 : std::max<size_t>(1, listed);
}

size_t value_rows(const Lot& lot) {
    size_t rows = 0;
    for (const Record& r : lot.records) rows += rows_of(r);
    return rows;
}

void table_head(Writer& w, size_t from, size_t total) {
    w.text(kMargin, kTop, "Values", 12, true);
    w.text(kMargin + 60, kTop + 3, QString("rows %1–%2 of %3")
                                       .arg(w.locale.toString(qulonglong(from + 1)),
                                            w.locale.toString(qulonglong(std::min(
                                                total, from + rows_per_page()))),
                                            w.locale.toString(qulonglong(total))),
           8, false, 300);
    double x = kMargin;
    for (const Column& c : kColumns) {
        w.text(x, kTableTop - kRow, c.title, 7.5, true, c.width, c.align);
        x += c.width + kColumnGap;
    }
    w.p.setPen(QPen(kInk, 0.5));
    w.p.drawLine(QPointF(kMargin, kTableTop - 1.5), QPointF(kPageWidth - kMargin, kTableTop - 1.5));
}

}  // namespace

void paint_lot_report(QPagedPaintDevice& device, const Lot& lot, const QLocale& locale,
                      const QDateTime& made) {
    const size_t rows = value_rows(lot);
    const int per_page = rows_per_page();
    const int count = 1 + std::max(1, static_cast<int>((rows + per_page - 1) / per_page));
    QPainter painter(&device);
    painter.setRenderHint(QPainter::Antialiasing);
    Pages pages(device, painter, lot, locale, made, count);
    Writer& w = pages.writer();
    const LotStatistics& s = lot.statistics;
    const Limits limits = lot.tolerance ? limits_of(*lot.tolerance) : Limits{};

    // Page 1: what, the figures, the charts.
    double y = kTop;
    w.text(kMargin, y, "Inspection report", 17, true);
    y += 28;
    const std::vector<std::pair<QString, QString>> about = {
        {"File", QString::fromStdString(lot.file)},
        {"Selection", QString::fromStdString(lot.selection)},
        {"Tolerance", tolerance_text(lot, w)},
        {"Pattern", lot.tolerance ? QString::fromStdString(lot.tolerance->pattern) : QString("—")},
        {"Made", locale.toString(made, QLocale::LongFormat)},
    };
    for (const auto& [label, text] : about) {
        w.text(kMargin, y, label, 8.5, true, 70);
        w.text(kMargin + 72, y, text, 8.5, false, kContentWidth - 72);
        y += 13;
    }
    y += 8;
    const std::vector<LotFigure> list = figures(lot, Format{w.locale, forms_of(lot)});
    const size_t half = (list.size() + 1) / 2;
    const double column = kContentWidth / 2;
    for (size_t i = 0; i < list.size(); ++i) {
        const double x = kMargin + (i < half ? 0 : column);
        const double row_y = y + static_cast<double>(i % half) * 21;
        w.text(x, row_y, list[i].label, 8, true, 150);
        w.text(x + 150, row_y, list[i].value, 8, false, column - 170, Qt::AlignRight);
        if (!list[i].how.isEmpty()) w.text(x, row_y + 9.5, list[i].how, 6.5, false, 150, Qt::AlignLeft, kMuted);
    }
    y += static_cast<double>(half) * 21 + 8;

    const double chart_height = s.records > 1 ? 150 : 190;
    if (s.records == 1 && !lot.records.empty()) {
        std::vector<std::optional<double>> points;
        std::vector<bool> outside;
        const std::vector<RecordValue>& values = lot.records[0].values;
        const size_t drawn = std::min(values.size(), kMaxListed);
        for (size_t i = 0; i < drawn; ++i) {
            const RecordValue& v = values[i];
            points.push_back(v.number ? std::optional(v.number->value()) : std::nullopt);
            outside.push_back(v.number && verdict(v.number->value(), limits) != Verdict::kWithin);
        }
        std::vector<Line> lines = {{{s.overall.mean}, kCentre, Qt::SolidLine, "mean"}};
        if (lot.tolerance && lot.tolerance->nominal)
            lines.push_back({{lot.tolerance->nominal}, kCentre, Qt::DotLine, "nominal"});
        if (limits.lower) lines.push_back({{limits.lower}, kLimit, Qt::DashLine, "LSL"});
        if (limits.upper) lines.push_back({{limits.upper}, kLimit, Qt::DashLine, "USL"});
        const QString title =
            drawn < lot.records[0].value_count
                ? QString("Run chart: values 1 to %1 of %2 in order")
                      .arg(locale.toString(qulonglong(drawn)),
                           locale.toString(qulonglong(lot.records[0].value_count)))
                : QString("Run chart: values in order");
        draw_chart(w, QRectF(kMargin, y, kContentWidth, chart_height), title, points, outside,
                   lines, "value");
        y += chart_height + 8;
    } else if (s.records > 1) {
        control_charts(w, QRectF(kMargin, y, kContentWidth, chart_height * 1.8 + 6), s);
        y += chart_height * 1.8 + 6 + 8;
    }
    std::vector<double> all;
    for (const Record& r : lot.records)
        for (const RecordValue& v : r.values)
            if (v.number) all.push_back(v.number->value());
    const double histogram_height = std::min(170.0, kBottom - y - 4);
    if (histogram_height > 60) draw_histogram(w, QRectF(kMargin, y, kContentWidth, histogram_height), all, limits);

    // The values, a page at a time, in one form for the column of values
    // and one for the deviations.
    std::vector<double> listed, deviations;
    for (size_t r = 0; r < lot.records.size(); ++r) {
        const std::vector<RecordValue>& values = lot.records[r].values;
        const bool has_nominal = lot.tolerances[r] && lot.tolerances[r]->nominal;
        const double nominal = has_nominal ? *lot.tolerances[r]->nominal : 0.0;
        for (size_t i = 0; i < std::min(values.size(), kMaxListed); ++i) {
            if (!values[i].number) continue;
            listed.push_back(values[i].number->value());
            if (has_nominal) deviations.push_back(values[i].number->value() - nominal);
        }
    }
    const NumberForm value_form = form_of(listed), deviation_form = form_of(deviations);
    const NumberSymbols symbols = number_symbols(locale);
    size_t row = 0;
    for (size_t r = 0; r < lot.records.size(); ++r) {
        const Record& record = lot.records[r];
        const Limits own = lot.tolerances[r] ? limits_of(*lot.tolerances[r]) : Limits{};
        const bool has_nominal = lot.tolerances[r] && lot.tolerances[r]->nominal;
        const double nominal = has_nominal ? *lot.tolerances[r]->nominal : 0.0;
        const size_t lines = rows_of(record);
        for (size_t i = 0; i < lines; ++i, ++row) {
            if (row % per_page == 0) {
                pages.next();
                table_head(w, row, rows);
            }
            const double line_y = kTableTop + static_cast<double>(row % per_page) * kRow;
            QStringList cells;
            cells << locale.toString(qulonglong(lot.numbers[r]))
                  << (record.time ? QString::fromStdString(iso_8601(record.time)).replace('T', ' ')
                                  : QString::fromStdString(record.time_text))
                  << QString::fromStdString(record.description.value_or(""));
            if (record.values.empty()) {
                cells << "" << "(no values)" << "" << "";
            } else if (i == std::min(record.values.size(), kMaxListed)) {
                const size_t left_out = record.value_count - i;
                cells << "" << QString("%1 more values not listed").arg(locale.toString(qulonglong(left_out)))
                      << "" << "";
            } else {
                const RecordValue& v = record.values[i];
                cells << locale.toString(qulonglong(i + 1));
                if (!v.number) {
                    cells << QString::fromStdString(v.text) << "" << "not a number";
                } else {
                    const double x = v.number->value();
                    cells << QString::fromStdString(display_text(x, value_form, symbols))
                          << (has_nominal ? QString::fromStdString(display_text(
                                                x - nominal, deviation_form, symbols, true))
                                          : QString())
                          << (own.any() ? QString(verdict(x, own) == Verdict::kLow    ? "LOW"
                                                  : verdict(x, own) == Verdict::kHigh ? "HIGH"
                                                                                      : "OK")
                                        : QString());
                }
            }
            if (row % 2 == 1) {
                painter.fillRect(QRectF(kMargin, line_y - 1.5, kContentWidth, kRow), QColor(0xf3, 0xf3, 0xf3));
            }
            double x = kMargin;
            for (size_t c = 0; c < kColumns.size(); ++c) {
                const bool bad = c == 6 && (cells[c] == "LOW" || cells[c] == "HIGH");
                w.text(x, line_y, cells[c], 7.5, bad, kColumns[c].width, kColumns[c].align, bad ? kLimit : kInk);
                x += kColumns[c].width + kColumnGap;
            }
        }
    }
    if (rows == 0) {
        pages.next();
        w.text(kMargin, kTop, "Values", 12, true);
        w.text(kMargin, kTableTop, "The selection holds no records.", 9);
    }
    pages.finish();
}

std::vector<LotFigure> lot_figures(const Lot& lot, const QLocale& locale) {
    return figures(lot, Format{locale, forms_of(lot)});
}

void paint_control_charts(QPainter& painter, const QRectF& box, const Lot& lot,
                          const QLocale& locale) {
    // Drawn in the painter's units, with text sizes as in points.
    Writer w{painter, locale};
    control_charts(w, box, lot.statistics);
}

QByteArray lot_report_pdf(const Lot& lot, const QLocale& locale, const QDateTime& made) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(1200);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0)));
        writer.setTitle("Inspection report: " + QString::fromStdString(lot.file));
        writer.setCreator("tolvane");
        paint_lot_report(writer, lot, locale, made);
    }
    return bytes;
}

}  // namespace tolvane
