#include "inspection/lot_report.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "inspection/locale_numbers.h"
#include "inspection/report_charts.h"

namespace tolvane {

namespace {

// Everything is drawn in points (1/72 inch) on A4 with margins of 15 mm.
constexpr double kPageWidth = 595.28, kPageHeight = 841.89, kMargin = 42.5;
constexpr double kContentWidth = kPageWidth - 2 * kMargin;
constexpr double kTop = kMargin, kBottom = kPageHeight - kMargin - 18;  // above the footer
constexpr double kRow = 12.5;  // a line of the values table

// The most values of one record the report draws and lists: as many as
// the instrument sends in a record.
constexpr size_t kMaxListed = 256;

QString tolerance_text(const Lot& lot, const ReportNumbers& n) {
    if (lot.mixed_tolerances)
        return "the records have different tolerances: no limits for the lot as a whole";
    if (!lot.tolerance) return "none set for this description";
    const ToleranceEntry& t = *lot.tolerance;
    const Limits limits = limits_of(t);
    QString text;
    if (t.nominal) {
        text = "nominal " + n.alone(*t.nominal);
        if (t.lower) text += ", lower deviation " + n.alone(*t.lower);
        if (t.upper) text += ", upper deviation " + n.alone(*t.upper);
        text += "; ";
    }
    text += "LSL " + (limits.lower ? n.alone(*limits.lower) : QString("none")) +
            ", USL " + (limits.upper ? n.alone(*limits.upper) : QString("none"));
    return text;
}

// A time as the report's tables write it: ISO 8601 with a space.
QString table_time(const std::optional<LocalDateTime>& t) {
    return QString::fromStdString(iso_8601(t)).replace('T', ' ');
}

// A figure of log10 of the values: four decimals, whatever the values' form.
QString of_logs(const ReportNumbers& w, const std::optional<double>& x) {
    return x ? w.locale().toString(*x, 'f', 4) : QStringLiteral("—");
}


QString method_of(Method method, Scale scale) {
    return QString::fromStdString(method_name(method, scale));
}

std::vector<LotFigure> figures(const Lot& lot, const ReportNumbers& w,
                               const std::optional<FrozenChart>& frozen) {
    const LotStatistics& s = lot.statistics;
    const Statistics& o = s.overall;
    const Fit& fit = s.fit;
    const Scale scale = s.scale;
    const bool log = scale == Scale::kLog;
    std::vector<LotFigure> f;
    const QString overall_s = log ? "σ = s of log10 of all values" : "σ = s of all values";
    QString within;
    switch (s.sigma_source) {
        case SigmaSource::kSBarOverC4:
            within = QString("σ within = s̄ / c4(%1)").arg(*s.subgroup_size);
            break;
        case SigmaSource::kPooled: within = "σ within = pooled s (sizes differ)"; break;
        case SigmaSource::kNone: within = "no record with a spread"; break;
    }
    if (log && s.sigma_source != SigmaSource::kNone) within += ", of log10";
    f.push_back({"Records", w.count(s.records), ""});
    f.push_back({"Values (n)", w.count(o.n), log ? "above 0: the figures are of their log10" : ""});
    // Records longer than the instrument sends were made by hand: only their
    // first values are read, and the figures say how many they leave out.
    size_t unread = 0;
    for (const Record& r : lot.records) unread += r.value_count - r.values.size();
    if (unread > 0)
        f.push_back({"Values not read", w.count(unread),
                     QString("beyond the first %1 of a record").arg(kKeptValues)});
    // On the log scale: the values as they are for what needs no logarithm.
    std::vector<double> values;
    for (const Record& r : lot.records)
        for (const RecordValue& v : r.values)
            if (v.number) values.push_back(v.number->value());
    if (log && fit.not_positive > 0)
        f.push_back({"Values left out", w.count(fit.not_positive),
                     QString::fromStdString(not_positive_words(fit.not_positive, fit.negative)), {},
                     "not_positive"});
    if (log) {
        f.push_back({"Geometric mean", w.derived(fit.gmean),
                     "10^m; m, the mean of log10 = " + of_logs(w, fit.mean), {}, "gmean"});
        f.push_back({"Geometric standard deviation", factor_text(fit.gsd, w.locale()),
                     "10^s; s of log10 = " + of_logs(w, fit.sd) + ", n − 1", {}, "gsd"});
        std::optional<double> min, max;
        for (const double v : values)
            if (v > 0) {
                min = std::min(min.value_or(v), v);
                max = std::max(max.value_or(v), v);
            }
        f.push_back({"Minimum", w.value(min), "above 0"});
        f.push_back({"Maximum", w.value(max), ""});
    } else {
        f.push_back({"Mean", w.derived(o.mean), ""});
        f.push_back({"Standard deviation s", w.derived(o.sd), "sample, n − 1"});
        f.push_back({"Minimum", w.value(o.min), ""});
        f.push_back({"Maximum", w.value(o.max), ""});
        f.push_back({"Range", w.value(o.range), ""});
    }
    const Limits limits = lot.tolerance ? limits_of(*lot.tolerance) : Limits{};
    if (log && limits.any()) {
        // Every value against the limits, 0 too: a verdict needs no logarithm.
        size_t below = 0, above = 0;
        for (const double v : values) {
            below += verdict(v, limits) == Verdict::kLow ? 1 : 0;
            above += verdict(v, limits) == Verdict::kHigh ? 1 : 0;
        }
        f.push_back({"Below LSL / above USL", w.count(below) + " / " + w.count(above),
                     QString("of all %1 values").arg(w.count(values.size()))});
        f.push_back({"Out of tolerance",
                     w.percent(values.empty() ? std::nullopt
                                              : std::optional(double(below + above) / values.size())),
                     ""});
    } else if (o.has_limits) {
        f.push_back({"Below LSL / above USL",
                     w.count(o.below) + " / " + w.count(o.above), ""});
        f.push_back({"Out of tolerance",
                     w.percent(o.share_out), ""});
    }
    // One record is one sample: its own s is the sigma of everything.
    const bool several = s.records > 1;
    if (several)
        f.push_back({log ? "Within-record σ of log10" : "Within-record σ",
                     log ? of_logs(w, s.sigma_within) : w.derived(s.sigma_within), within});
    if (o.has_limits) {
        f.push_back({"Pp", w.ratio(o.pp), overall_s, method_of(Method::kZScore, scale)});
        f.push_back({"Ppk", w.ratio(o.ppk), overall_s, method_of(Method::kZScore, scale)});
        const QString percentiles = "X0.135, X50, X99.865 of the fit";
        const std::optional<PercentileCapability>& pc = fit.percentile;
        f.push_back({"Pp (percentile)", w.ratio(pc ? pc->pp : std::nullopt), percentiles,
                     method_of(Method::kPercentile, scale), "pp_pct"});
        f.push_back({"Ppk (percentile)", w.ratio(pc ? pc->ppk : std::nullopt), percentiles,
                     method_of(Method::kPercentile, scale), "ppk_pct"});
        if (several) {
            f.push_back({"Cp", w.ratio(s.cp), within, method_of(Method::kWithin, scale)});
            f.push_back({"Cpk", w.ratio(s.cpk), within, method_of(Method::kWithin, scale)});
        }
    }
    if (s.records > 1 && frozen) {
        QStringList tests;
        for (const int t : frozen->kept.tests) tests << QString::number(t);
        size_t broken = 0, left_out = 0;
        for (const FrozenPoint& p : frozen->points) {
            broken += p.tests.empty() ? 0 : 1;
            left_out += p.left_out ? 1 : 0;
        }
        f.push_back({"Records breaking a test", w.count(broken),
                     "tests " + (tests.isEmpty() ? QString("none") : tests.join(" ")) +
                         ", frozen limits"});
        f.push_back({log ? "Frozen σ within of log10" : "Frozen σ within",
                     log ? of_logs(w, frozen->limits.sigma_within)
                         : w.derived(frozen->limits.sigma_within),
                     frozen->limits.kind == ChartKind::kIndividuals ? "MR̄ / d2, zone σ = σ within"
                                                                     : "zone σ = σ within / √n"});
        if (left_out > 0)
            f.push_back({"Left out of the limits", w.count(left_out), "records shown, marked ◇"});
    } else if (s.records > 1) {
        f.push_back({"X̄ chart: records outside", w.count(s.mean_outside),
                     "limits X̿ ± A3·s̄"});
        f.push_back({"s chart: records outside", w.count(s.sd_outside),
                     "limits B3·s̄, B4·s̄"});
        f.push_back({"Left out of the s chart", w.count(s.without_sd),
                     "records of one value"});
    }
    return f;
}

// The notes under the figures, a paragraph each: the scale, each capability
// method shown with its formula and sigma, and the normality check.
QStringList methods(const Lot& lot, const ReportNumbers& w) {
    const LotStatistics& s = lot.statistics;
    const bool log = s.scale == Scale::kLog;
    QStringList lines;
    if (log)
        lines << "Logarithmic scale: the figures are of log10 of the values above 0 and of the "
                 "limits (a lognormal distribution), but for the minimum, the maximum and the "
                 "values out of tolerance; the geometric mean is 10^m, the geometric standard "
                 "deviation the factor 10^s.";
    std::vector<std::pair<QString, Method>> shown;
    if (s.overall.has_limits) {
        shown = {{"Pp, Ppk", Method::kZScore}, {"Pp, Ppk (percentile)", Method::kPercentile}};
        if (s.records > 1) shown.emplace_back("Cp, Cpk", Method::kWithin);
    }
    for (const auto& [which, m] : shown)
        lines << which + " — " + method_of(m, s.scale) + ": " +
                     QString::fromStdString(method_formula(m, s.scale)).replace('\n', ' ');
    const NumberWriter number = [&](double x) { return w.locale().toString(x, 'g', 2).toStdString(); };
    QString normality = QString::fromStdString(normality_words(s.fit, number));
    if (!s.fit.normality)
        normality += QString(" (no test below %1 values or without a spread)").arg(kNormalityMinimum);
    lines << "Normality (Anderson–Darling) of " + QString(log ? "log10 of the values" : "the values") +
                 ": " + normality;
    return lines;
}

// A paragraph of small text across the page at `y`, wrapped; its height.
double paragraph(QPainter& p, double y, const QString& text) {
    p.save();
    p.scale(0.25, 0.25);
    p.setFont(report_font(6.5));
    p.setPen(kInk);
    const QRectF box(kMargin * 4, y * 4, kContentWidth * 4, 400 * 4);
    QRectF used;
    p.drawText(box, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text, &used);
    p.restore();
    return used.height() / 4;
}

class Pages {
  public:
    Pages(QPagedPaintDevice& device, QPainter& painter, const Lot& lot,
          const ReportNumbers& numbers, const QDateTime& made, int count)
        : device_(device), p_(painter), w_{painter, numbers}, lot_(lot),
          made_(made), count_(count) {
        place();
    }
    ChartPainter& writer() { return w_; }
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
                    w_.numbers.locale().toString(made_, QLocale::ShortFormat),
                7, false, kContentWidth - 80);
        w_.text(kPageWidth - kMargin - 80, kBottom + 7,
                QString("Page %1 of %2").arg(page_).arg(count_), 7, false, 80, Qt::AlignRight);
    }

    QPagedPaintDevice& device_;
    QPainter& p_;
    ChartPainter w_;
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
// Over several stations: which one each record is from (its number is its
// station's own), in the room of the description.
const std::vector<Column> kStationColumns = {
    {"Record", 38, Qt::AlignRight}, {"Time", 92, Qt::AlignLeft},
    {"Station", 54, Qt::AlignLeft}, {"Description", 60, Qt::AlignLeft},
    {"No.", 26, Qt::AlignRight},    {"Value", 70, Qt::AlignRight},
    {"Deviation", 64, Qt::AlignRight}, {"Verdict", 64, Qt::AlignLeft},
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

// A table page's head: its title, which rows of how many it holds ("rows
// 1–55 of 9,680"), and the columns' titles over a rule.
void page_head(ChartPainter& w, const QString& title, double title_width, const QString& rows,
               size_t from, size_t total, const std::vector<Column>& columns) {
    w.text(kMargin, kTop, title, 12, true);
    w.text(kMargin + title_width, kTop + 3,
           QString("%1 %2–%3 of %4")
               .arg(rows, w.numbers.count(from + 1),
                    w.numbers.count(std::min(total, from + rows_per_page())), w.numbers.count(total)),
           8, false, kPageWidth - 2 * kMargin - title_width);
    double x = kMargin;
    for (const Column& c : columns) {
        w.text(x, kTableTop - kRow, c.title, 7.5, true, c.width, c.align);
        x += c.width + kColumnGap;
    }
    w.p.setPen(QPen(kInk, 0.5));
    w.p.drawLine(QPointF(kMargin, kTableTop - 1.5), QPointF(kPageWidth - kMargin, kTableTop - 1.5));
}

void table_head(ChartPainter& w, size_t from, size_t total, const std::vector<Column>& columns) {
    page_head(w, "Values", 60, "rows", from, total, columns);
}


const std::vector<Column> kJournalColumns = {
    // The times whole (seconds too), names as long as a full name mostly is.
    {"Time", 82, Qt::AlignLeft},  {"Record time", 82, Qt::AlignLeft}, {"Event", 58, Qt::AlignLeft},
    {"Tests", 30, Qt::AlignLeft}, {"Cause", 80, Qt::AlignLeft},       {"Action", 80, Qt::AlignLeft},
    {"User", 56, Qt::AlignLeft},
};

void journal_head(ChartPainter& w, size_t from, size_t total) {
    page_head(w, "Journal of the selected records", 220, "events", from, total, kJournalColumns);
}

}  // namespace

void paint_lot_report(QPagedPaintDevice& device, const Lot& lot, const QLocale& locale,
                      const QDateTime& made) {
    const size_t rows = value_rows(lot);
    const int per_page = rows_per_page();
    const std::optional<FrozenChart> frozen = frozen_chart(lot);
    const std::vector<JournalEntry> events = lot_events(lot);
    const int count = 1 + std::max(1, static_cast<int>((rows + per_page - 1) / per_page)) +
                      static_cast<int>((events.size() + per_page - 1) / per_page);
    QPainter painter(&device);
    painter.setRenderHint(QPainter::Antialiasing);
    const ReportNumbers numbers(locale, lot);
    Pages pages(device, painter, lot, numbers, made, count);
    ChartPainter& w = pages.writer();
    const LotStatistics& s = lot.statistics;
    const Limits limits = lot.tolerance ? limits_of(*lot.tolerance) : Limits{};

    // Page 1: what, the figures, the charts.
    double y = kTop;
    w.text(kMargin, y, "Inspection report", 17, true);
    y += 28;
    const std::vector<std::pair<QString, QString>> about = {
        {"File", QString::fromStdString(lot.file)},
        {"Selection", QString::fromStdString(lot.selection)},
        {"Tolerance", tolerance_text(lot, numbers)},
        {"Pattern", lot.tolerance ? QString::fromStdString(lot.tolerance->pattern) : QString("—")},
        {"Made", locale.toString(made, QLocale::LongFormat)},
    };
    std::vector<std::pair<QString, QString>> rows_about = about;
    if (!lot.stations.empty()) {
        // The stations the chosen records came from, in the stations' order.
        std::vector<bool> in_lot(lot.stations.size(), false);
        for (const size_t k : lot.record_stations) in_lot[k] = true;
        QStringList names;
        for (size_t k = 0; k < lot.stations.size(); ++k)
            if (in_lot[k]) names << QString::fromStdString(lot.stations[k]);
        rows_about.insert(rows_about.begin() + 1,
                          {"Stations", names.isEmpty() ? QString("—") : names.join(", ")});
    }
    if (frozen) rows_about.insert(rows_about.end() - 1, {"Control", frozen_sentence(frozen->kept, locale)});
    else if (s.records > 1) rows_about.insert(rows_about.end() - 1, {"Control", "limits computed from the selection"});
    for (const auto& [label, text] : rows_about) {
        w.text(kMargin, y, label, 8.5, true, 70);
        w.text(kMargin + 72, y, text, 8.5, false, kContentWidth - 72);
        y += 13;
    }
    y += 8;
    const std::vector<LotFigure> list = figures(lot, numbers, frozen);
    const size_t half = (list.size() + 1) / 2;
    const double column = kContentWidth / 2;
    for (size_t i = 0; i < list.size(); ++i) {
        const double x = kMargin + (i < half ? 0 : column);
        const double row_y = y + static_cast<double>(i % half) * 21;
        w.text(x, row_y, list[i].label, 8, true, 150);
        w.text(x + 150, row_y, list[i].value, 8, false, column - 170, Qt::AlignRight);
        // A capability index says its method and its sigma.
        const QString how = list[i].method.isEmpty() || list[i].how.isEmpty()
                                ? list[i].method + list[i].how
                                : list[i].method + " · " + list[i].how;
        if (!how.isEmpty()) w.text(x, row_y + 9.5, how, 6.5, false, column - 20, Qt::AlignLeft, kMuted);
    }
    y += static_cast<double>(half) * 21 + 4;
    for (const QString& line : methods(lot, numbers)) y += paragraph(painter, y, line) + 2;
    y += 6;

    // The charts share what is left with the histogram, which keeps 110 points.
    const double room = kBottom - y - 110 - 16;
    const double chart_height = std::clamp(s.records > 1 ? (room - 6) / 1.8 : room, 80.0,
                                           s.records > 1 ? 150.0 : 190.0);
    if (s.records == 1 && !lot.records.empty()) {
        // On the log scale in log10 of the values: one of 0 or below has no point.
        const bool log = s.scale == Scale::kLog;
        const auto on_axis = [&](const std::optional<double>& x) -> std::optional<double> {
            if (!x || (log && *x <= 0)) return std::nullopt;
            return to_scale(*x, s.scale);
        };
        std::vector<std::optional<double>> points;
        std::vector<bool> outside;
        const std::vector<RecordValue>& values = lot.records[0].values;
        const size_t drawn = std::min(values.size(), kMaxListed);
        for (size_t i = 0; i < drawn; ++i) {
            const RecordValue& v = values[i];
            points.push_back(v.number ? on_axis(v.number->value()) : std::nullopt);
            outside.push_back(v.number && verdict(v.number->value(), limits) != Verdict::kWithin);
        }
        // The mean of the logs is the log of the geometric mean.
        std::vector<ChartLine> lines = {
            {{s.overall.mean}, kCentre, Qt::SolidLine, log ? "geometric mean" : "mean"}};
        if (lot.tolerance && lot.tolerance->nominal && on_axis(lot.tolerance->nominal))
            lines.push_back({{on_axis(lot.tolerance->nominal)}, kCentre, Qt::DotLine, "nominal"});
        if (on_axis(limits.lower)) lines.push_back({{on_axis(limits.lower)}, kLimit, Qt::DashLine, "LSL"});
        if (on_axis(limits.upper)) lines.push_back({{on_axis(limits.upper)}, kLimit, Qt::DashLine, "USL"});
        QString title =
            drawn < lot.records[0].value_count
                ? QString("Run chart: values 1 to %1 of %2 in order")
                      .arg(numbers.count(drawn), numbers.count(lot.records[0].value_count))
                : QString("Run chart: values in order");
        if (log) {
            title += ", logarithmic axis";
            if (s.fit.not_positive > 0)
                title += " (" + QString::fromStdString(not_positive_words(s.fit.not_positive, s.fit.negative)) +
                         ", no point)";
        }
        draw_chart(w, QRectF(kMargin, y, kContentWidth, chart_height), title, points, outside,
                   lines, "value", {}, log);
        y += chart_height + 8;
    } else if (s.records > 1) {
        draw_control_charts(w, QRectF(kMargin, y, kContentWidth, chart_height * 1.8 + 6), s,
                            frozen ? &*frozen : nullptr);
        y += chart_height * 1.8 + 6 + 8;
    }
    std::vector<double> all;
    for (const Record& r : lot.records)
        for (const RecordValue& v : r.values)
            if (v.number) all.push_back(v.number->value());
    const double histogram_height = std::min(170.0, kBottom - y - 4);
    if (histogram_height > 60)
        draw_histogram(w, QRectF(kMargin, y, kContentWidth, histogram_height), all, limits, &s.fit);

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
    const std::vector<std::string> station_names = record_station_names(lot);
    const std::vector<Column>& columns = lot.stations.empty() ? kColumns : kStationColumns;
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
                table_head(w, row, rows, columns);
            }
            const double line_y = kTableTop + static_cast<double>(row % per_page) * kRow;
            QStringList cells;
            cells << numbers.count(lot.numbers[r])
                  << (record.time ? QString::fromStdString(iso_8601(record.time)).replace('T', ' ')
                                  : QString::fromStdString(record.time_text));
            if (!lot.stations.empty()) cells << QString::fromStdString(station_names[r]);
            cells << QString::fromStdString(record.description.value_or(""));
            if (record.values.empty()) {
                cells << "" << "(no values)" << "" << "";
            } else if (i == std::min(record.values.size(), kMaxListed)) {
                const size_t left_out = record.value_count - i;
                cells << "" << QString("%1 more values not listed").arg(numbers.count(left_out))
                      << "" << "";
            } else {
                const RecordValue& v = record.values[i];
                cells << numbers.count(i + 1);
                if (!v.number) {
                    cells << QString::fromStdString(v.text) << "" << "not a number";
                } else {
                    const double x = v.number->value();
                    cells << numbers.in(x, value_form)
                          << (has_nominal ? numbers.in(x - nominal, deviation_form, true) : QString())
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
            for (size_t c = 0; c < columns.size(); ++c) {
                const bool bad = c + 1 == columns.size() && (cells[c] == "LOW" || cells[c] == "HIGH");
                w.text(x, line_y, cells[c], 7.5, bad, columns[c].width, columns[c].align, bad ? kLimit : kInk);
                x += columns[c].width + kColumnGap;
            }
        }
    }
    if (rows == 0) {
        pages.next();
        w.text(kMargin, kTop, "Values", 12, true);
        w.text(kMargin, kTableTop, "The selection holds no records.", 9);
    }
    for (size_t e = 0; e < events.size(); ++e) {
        if (e % per_page == 0) {
            pages.next();
            journal_head(w, e, events.size());
        }
        const JournalEntry& event = events[e];
        const double line_y = kTableTop + static_cast<double>(e % per_page) * kRow;
        QStringList tests;
        for (const int t : event.tests) tests << QString::number(t);
        const QStringList cells = {table_time(event.time), table_time(event.record_time),
                                   QString::fromStdString(std::string(journal_event_text(event.event))),
                                   tests.join(" "), QString::fromStdString(event.cause),
                                   QString::fromStdString(event.action), QString::fromStdString(event.user)};
        if (e % 2 == 1)
            painter.fillRect(QRectF(kMargin, line_y - 1.5, kContentWidth, kRow), QColor(0xf3, 0xf3, 0xf3));
        double x = kMargin;
        for (size_t c = 0; c < kJournalColumns.size(); ++c) {
            w.text(x, line_y, cells[c], 7.5, false, kJournalColumns[c].width, kJournalColumns[c].align);
            x += kJournalColumns[c].width + kColumnGap;
        }
    }
    pages.finish();
}

std::vector<LotFigure> lot_figures(const Lot& lot, const QLocale& locale) {
    return figures(lot, ReportNumbers(locale, lot), frozen_chart(lot));
}

QStringList lot_methods(const Lot& lot, const QLocale& locale) {
    return methods(lot, ReportNumbers(locale, lot));
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
