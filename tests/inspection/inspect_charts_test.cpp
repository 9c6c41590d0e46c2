// The Inspection window's charts, number forms and report over values of
// the instrument's whole range, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QValueAxis>
#include <cmath>
#include <string>
#include <vector>

#include "fakes/fake_tolerance_settings.h"
#include "inspection/inspect_charts.h"
#include "inspection/inspect_models.h"
#include "inspection/inspect_panels.h"
#include "inspection/lot_report.h"
#include "quality/tolerances.h"

namespace tolvane::testing {
namespace {

Record record_of(const std::string& fields) {
    return parse_record("#2026-12-01 08:00:00#\r\n\"G\"\r\n" + fields);
}

class InspectChartsTest : public ::testing::Test {
  protected:
    InspectChartsTest() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~InspectChartsTest() override { QLocale::setDefault(QLocale::system()); }
};

// Every axis of a chart: a fixed, small count of ticks over a range that
// readings (never below 0) give; a logarithmic one where the scale has it,
// of whole decades with no minor ticks.
void expect_bounded_axes(QChart* chart, Scale scale, Qt::Orientation value_axis) {
    for (QAbstractAxis* a : chart->axes()) {
        if (auto* log = qobject_cast<QLogValueAxis*>(a)) {
            EXPECT_TRUE(scale == Scale::kLog && a->orientation() == value_axis);
            EXPECT_EQ(log->minorTickCount(), 0);
            ASSERT_GT(log->min(), 0);
            // Ticks at the powers of the base within the range: two at least.
            const double each = std::log10(log->base());
            const double ticks = std::floor(std::log10(log->max()) / each + 1e-8) -
                                 std::ceil(std::log10(log->min()) / each - 1e-8) + 1;
            EXPECT_GE(ticks, 2) << log->min() << " " << log->max() << " " << log->base();
            EXPECT_LE(ticks, 11) << log->min() << " " << log->max() << " " << log->base();
            EXPECT_NEAR(std::log10(log->min()), std::round(std::log10(log->min())), 1e-8);
            continue;
        }
        auto* axis = qobject_cast<QValueAxis*>(a);
        ASSERT_TRUE(axis);
        EXPECT_FALSE(scale == Scale::kLog && a->orientation() == value_axis);
        EXPECT_EQ(axis->tickType(), QValueAxis::TicksFixed);
        EXPECT_LE(axis->tickCount(), 11);
        EXPECT_GE(axis->min(), 0);
        EXPECT_GT(axis->max(), axis->min());
    }
}

TEST_F(InspectChartsTest, SwitchingBetweenANarrowRecordAndFifteenDecadesBothWaysOnBothScales) {
    QWidget window;
    auto* run = new RunChart(&window);
    auto* histogram = new Histogram(&window);
    run->setGeometry(0, 0, 420, 260);
    histogram->setGeometry(420, 0, 300, 260);
    window.resize(720, 260);
    window.show();
    const std::vector<std::optional<double>> narrow = {24.99, 24.98, 25.00};
    const std::vector<std::optional<double>> wide = {24.99, 25.01, 99.9, 0.01, 9.99e15, 0.0};
    // A double's whole range, as a record made by hand may hold.
    const std::vector<std::optional<double>> widest = {1e-300, 1, 1e300};
    for (int round = 0; round < 3; ++round) {
        for (const Scale scale : {Scale::kLinear, Scale::kLog}) {
            ChartLines limits{25.0, 25.0, 24.98, 25.02, scale, std::nullopt, std::nullopt};
            for (const auto* values : {&narrow, &wide, &widest}) {
                if (values == &widest && scale == Scale::kLinear) continue;
                std::vector<double> numbers;
                for (const auto& v : *values) numbers.push_back(*v);
                QElapsedTimer took;
                took.start();
                run->show_values(*values, limits);
                histogram->show_values(numbers, limits);
                // Laid out and drawn, as the window does.
                run->view()->grab();
                histogram->view()->grab();
                QApplication::processEvents();
                if (round == 0 && values != &narrow)
                    std::printf("%s, %zu values: shown and drawn in %lld ms\n",
                                scale == Scale::kLog ? "log" : "linear", values->size(),
                                static_cast<long long>(took.elapsed()));
                expect_bounded_axes(run->chart(), scale, Qt::Vertical);
                expect_bounded_axes(histogram->chart(), scale, Qt::Horizontal);
                EXPECT_LE(histogram->bins(), Histogram::kMaxBins);
            }
            if (scale == Scale::kLinear) {
                // The last was wide: its axis labels in one scientific form.
                auto* y = qobject_cast<QValueAxis*>(run->chart()->axes(Qt::Vertical).front());
                EXPECT_TRUE(y->labelFormat().endsWith('E')) << y->labelFormat().toStdString();
            }
        }
    }
}

// Values over two decades with a 0, on the log scale: the 0 is not drawn,
// the classes are of one width in log10 with edges at its multiples, the
// fitted lognormal density has the height of n * width * pdf, and a limit
// at 0 draws no line.
TEST_F(InspectChartsTest, TheHistogramOnTheLogScale) {
    Histogram histogram;
    histogram.resize(500, 300);
    histogram.show();
    const std::vector<double> values = {0, 1.2, 3, 5, 8, 20, 45, 90, 150};
    ChartLines lines;
    lines.scale = Scale::kLog;
    lines.lsl = 0;
    lines.usl = 300;
    lines.fit_mean = 1.2;
    lines.fit_sd = 0.6;
    histogram.show_values(values, lines);
    ASSERT_TRUE(qobject_cast<QLogValueAxis*>(histogram.chart()->axes(Qt::Horizontal).front()));
    QLineSeries* lsl = nullptr;
    QLineSeries* usl = nullptr;
    for (QAbstractSeries* series : histogram.chart()->series()) {
        if (series->name() == "LSL") lsl = qobject_cast<QLineSeries*>(series);
        if (series->name() == "USL") usl = qobject_cast<QLineSeries*>(series);
    }
    ASSERT_TRUE(lsl && usl);
    EXPECT_FALSE(lsl->isVisible());
    ASSERT_TRUE(usl->isVisible());
    EXPECT_DOUBLE_EQ(usl->at(0).x(), 300);
    EXPECT_EQ(histogram.density()->name(), "Fitted lognormal");
    double peak = 0;
    for (const QPointF& p : histogram.density()->points()) {
        ASSERT_GT(p.x(), 0);
        peak = std::max(peak, p.y());
    }
    // The classes: every edge a power of ten of a multiple of one width.
    std::vector<double> edges;
    double counted = 0;
    for (QAbstractSeries* series : histogram.chart()->series())
        if (auto* area = qobject_cast<QAreaSeries*>(series)) {
            const QList<QPointF> outline = area->upperSeries()->points();
            for (qsizetype i = 0; i < outline.size(); ++i) {
                edges.push_back(std::log10(outline[i].x()));
                if (i % 4 == 1) counted += outline[i].y();
            }
        }
    EXPECT_EQ(counted, 8);
    ASSERT_GE(edges.size(), 8u);
    const double width = edges[2] - edges[0];
    // Narrower than a decade: the density's height depends on it.
    ASSERT_TRUE(width > 0 && width < 1) << width;
    for (const double e : edges) EXPECT_NEAR(e / width, std::round(e / width), 1e-6) << e;
    EXPECT_NEAR(peak, 8 * width / (0.6 * std::sqrt(2 * M_PI)), 0.02 * peak);
}

TEST_F(InspectChartsTest, ARecordLongerThanTheInstrumentSendsIsDrawnToItsFirst256) {
    RunChart run;
    run.resize(500, 300);
    run.show();
    std::vector<std::optional<double>> values(100000, 25.0);
    run.show_values(values, {});
    EXPECT_TRUE(run.chart()->title().contains("1 bis 256") || run.chart()->title().contains("1 to 256"))
        << run.chart()->title().toStdString();
    EXPECT_TRUE(run.chart()->title().contains("100.000")) << run.chart()->title().toStdString();
}

TEST_F(InspectChartsTest, ValuesAndFiguresInTheRegionalFormOneFormPerColumn) {
    MemoryToleranceSettings settings;
    settings.user = {{"G", 25.0, -0.02, 0.02}};
    Tolerances tolerances(settings);
    const InspectedRecord wide =
        inspect_record(record_of("0.01\r\n9.99E+15\r\n2.4438E+15\r\n9E+15\r\n1000\r\nx1\r\n"),
                       tolerances);
    ValueTableModel values;
    values.show(&wide);
    const auto cell = [&](int row, int column) {
        return values.data(values.index(row, column), Qt::DisplayRole).toString().toStdString();
    };
    const std::vector<std::string> expected = {"1,0000E-02", "9,9900E+15", "2,4438E+15",
                                               "9,0000E+15", "1,0000E+03", "x1"};
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(cell(row, ValueTableModel::kValue), expected[static_cast<size_t>(row)]) << row;
    EXPECT_EQ(cell(0, ValueTableModel::kDeviation), "-2,4990E+01");

    StatisticsPanel panel;
    panel.show_record(&wide);
    EXPECT_EQ(panel.figure("min").toStdString(), "1,0000E-02");
    EXPECT_EQ(panel.figure("max").toStdString(), "9,9900E+15");
    EXPECT_EQ(panel.figure("mean").toStdString(), "4,286760E+15");

    const InspectedRecord shafts =
        inspect_record(record_of("25.39\r\n25.4\r\n25.41\r\n24.99\r\n"), tolerances);
    values.show(&shafts);
    EXPECT_EQ(cell(1, ValueTableModel::kValue), "25,40");
    EXPECT_EQ(cell(1, ValueTableModel::kDeviation), "+0,40");
    EXPECT_EQ(cell(3, ValueTableModel::kDeviation), "-0,01");
    panel.show_record(&shafts);
    EXPECT_EQ(panel.figure("mean").toStdString(), "25,2975");
    EXPECT_EQ(panel.figure("range").toStdString(), "0,42");
    EXPECT_EQ(panel.figure("sd").toStdString(), "0,2052");
}

TEST_F(InspectChartsTest, TheReportListsAtMost256ValuesOfARecordAndSaysHowManyAreLeftOut) {
    Lot lot;
    lot.file = "databac.txt";
    lot.selection = "record 1";
    std::string fields;
    for (int i = 0; i < 100000; ++i) fields += i % 2 ? "0.01\r\n" : "9.99E+15\r\n";
    lot.records = {record_of(fields)};
    lot.numbers = {1};
    lot.tolerances = {std::nullopt};
    complete_lot(lot);
    const QByteArray pdf = lot_report_pdf(lot, QLocale(), QDateTime::currentDateTime());
    // The first page, and 257 rows at 55 a page.
    EXPECT_EQ(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 6);
    std::vector<LotFigure> figures = lot_figures(lot, QLocale());
    const auto value = [&](const QString& label) {
        for (const LotFigure& f : figures)
            if (f.label == label) return f.value.toStdString();
        return std::string();
    };
    EXPECT_EQ(value("Values (n)"), "256");
    EXPECT_EQ(value("Values not read"), "99.744");
    EXPECT_EQ(value("Mean"), "4,9950E+15");
    EXPECT_EQ(value("Minimum"), "1,00E-02");
}

}  // namespace
}  // namespace tolvane::testing
