// The report of a lot on both scales, in a German locale: the figures with
// their methods, the words on the page, and the pages drawn, read back with
// pdftotext and pdftoppm as a person would see them.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "inspection/lot_report.h"
#include "quality/lot.h"

namespace tolvane::testing {
namespace {

// Records of Grain, limits 1 and 10^6. The logs of the values above 0 are
// 0 1 2 | 1 2 3 | 2 3 4 | -2 6: their mean 2, their s sqrt(4.4) = 2.0976,
// the pooled s sqrt(38 / 7) = 2.3299, by hand.
Lot grain_lot(Scale scale, const std::vector<std::string>& records) {
    Lot lot;
    lot.file = "databac.txt";
    lot.selection = "the test's records";
    const ToleranceEntry entry{"Grain", std::nullopt, 1.0, 1e6, std::nullopt, scale};
    for (size_t i = 0; i < records.size(); ++i) {
        lot.records.push_back(parse_record("#2026-12-01 " + std::to_string(10 + i) +
                                           ":00:00#\r\n\"Grain\"\r\n" + records[i]));
        lot.numbers.push_back(i + 1);
        lot.tolerances.push_back(entry);
    }
    complete_lot(lot);
    return lot;
}
const std::vector<std::string> kEightDecades = {"1\r\n10\r\n100\r\n", "10\r\n100\r\n1000\r\n",
                                                "100\r\n1000\r\n10000\r\n", "0\r\n0.01\r\n1E+06\r\n"};

class LotReportTest : public ::testing::Test {
  protected:
    LotReportTest() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~LotReportTest() override { QLocale::setDefault(QLocale::system()); }

    // The report's text as pdftotext lays it out, and its first page drawn.
    std::string text_of(const Lot& lot) {
        const QString pdf = dir_.filePath("report.pdf");
        QFile file(pdf);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(lot_report_pdf(lot, QLocale(), QDateTime(QDate(2026, 12, 8), QTime(9, 0))));
        file.close();
        QProcess text;
        text.start("pdftotext", {"-layout", pdf, "-"});
        EXPECT_TRUE(text.waitForFinished(30000));
        QProcess page;
        page.start("pdftoppm", {"-r", "30", "-gray", "-f", "1", "-l", "1", pdf, dir_.filePath("page")});
        EXPECT_TRUE(page.waitForFinished(30000));
        EXPECT_EQ(page.exitCode(), 0);
        first_page_ = QImage(dir_.filePath("page-1.pgm"));
        return QString::fromUtf8(text.readAllStandardOutput()).toStdString();
    }
    // The share of ink in a band of the first page, from `top` to `bottom`
    // (shares of its height).
    double ink(double top, double bottom) const {
        size_t dark = 0, all = 0;
        for (int y = static_cast<int>(top * first_page_.height());
             y < static_cast<int>(bottom * first_page_.height()); ++y)
            for (int x = 0; x < first_page_.width(); ++x, ++all)
                dark += qGray(first_page_.pixel(x, y)) < 200 ? 1 : 0;
        return all ? static_cast<double>(dark) / all : 0;
    }

    QTemporaryDir dir_;
    QImage first_page_;
};

std::map<std::string, LotFigure> by_label(const Lot& lot) {
    std::map<std::string, LotFigure> figures;
    for (const LotFigure& f : lot_figures(lot, QLocale())) figures[f.label.toStdString()] = f;
    return figures;
}

TEST_F(LotReportTest, OnTheLogScaleTheFiguresOfTheLogsWithTheirMethodsAndLogAxes) {
    const Lot lot = grain_lot(Scale::kLog, kEightDecades);
    std::map<std::string, LotFigure> f = by_label(lot);
    EXPECT_EQ(f["Values (n)"].value, "11");
    EXPECT_EQ(f["Values left out"].value, "1");
    EXPECT_EQ(f["Values left out"].how, "1 value is 0: no logarithm");
    EXPECT_EQ(f["Geometric mean"].value, "100,000");
    EXPECT_EQ(f["Geometric standard deviation"].value, "×/÷ 1,25E+02");
    EXPECT_EQ(f["Minimum"].value, "0,01");
    EXPECT_EQ(f["Maximum"].value, "1000000,00");
    EXPECT_EQ(f["Below LSL / above USL"].value, "2 / 0");  // the 0 too
    EXPECT_EQ(f["Pp"].value, "0,48");
    EXPECT_EQ(f["Ppk"].value, "0,32");
    EXPECT_EQ(f["Cp"].value, "0,43");
    EXPECT_EQ(f["Within-record σ of log10"].value, "2,3299");
    for (const auto& [label, method] : {std::pair{"Pp", "Z-score, lognormal"},
                                        std::pair{"Ppk (percentile)", "percentile, lognormal"},
                                        std::pair{"Cpk", "within, lognormal"}})
        EXPECT_EQ(f[label].method.toStdString(), method) << label;
    EXPECT_NE(f["Pp (percentile)"].value, "—");
    EXPECT_EQ(f.count("Mean"), 0u);

    const std::string text = text_of(lot);
    for (const char* words :
         {"×/÷ 1,25E+02", "Pp, Ppk — Z-score, lognormal: Lognormal Z-score method",
          "Pp, Ppk (percentile) — percentile, lognormal: Percentile method",
          "Cp, Cpk — within, lognormal", "Normality (Anderson–Darling) of log10 of the values: ",
          "X̄ chart: the geometric mean of each record, logarithmic axis",
          "Histogram of all values, logarithmic axis (1 value is 0: no logarithm, left out)",
          "fitted lognormal"})
        EXPECT_NE(text.find(words), std::string::npos) << words << "\n" << text;
    // The histogram's axis, 10^-2 to 10^6 every second decade, in the German form.
    EXPECT_NE(text.find("0,01"), std::string::npos);
    EXPECT_NE(text.find("10000"), std::string::npos);
    // The charts drawn: ink in the lower half of the first page.
    ASSERT_FALSE(first_page_.isNull());
    EXPECT_GT(ink(0.5, 0.93), 0.02);
}

TEST_F(LotReportTest, OnTheLinearScaleThePercentileMethodBesideTheZScore) {
    const Lot lot = grain_lot(Scale::kLinear, kEightDecades);
    std::map<std::string, LotFigure> f = by_label(lot);
    EXPECT_EQ(f["Values (n)"].value, "12");
    EXPECT_EQ(f.count("Geometric mean"), 0u);
    EXPECT_EQ(f["Pp"].method, "Z-score, normal");
    EXPECT_EQ(f["Pp (percentile)"].method, "percentile, normal");
    EXPECT_EQ(f["Cp"].method, "within");
    const std::string text = text_of(lot);
    for (const char* words : {"Pp, Ppk — Z-score, normal: Z-score method",
                              "Normality (Anderson–Darling) of the values: Not normal (AD p < 0,005)",
                              "Histogram of all values", "fitted normal"})
        EXPECT_NE(text.find(words), std::string::npos) << words << "\n" << text;
    EXPECT_EQ(text.find("logarithmic"), std::string::npos);
    EXPECT_GT(ink(0.5, 0.93), 0.02);
}

// Records of one value each, ten decades of them, and a single record:
// every chart page draws.
TEST_F(LotReportTest, RecordsOfOneValueAndOneRecordOnTheLogScale) {
    std::vector<std::string> singles;
    for (int i = 0; i < 25; ++i) singles.push_back(std::to_string(1 + i % 9) + "E+" + std::to_string(i % 11) + "\r\n");
    const Lot lot = grain_lot(Scale::kLog, singles);
    std::string text = text_of(lot);
    EXPECT_NE(text.find("X̄ chart: the geometric mean of each record, logarithmic axis"), std::string::npos);
    EXPECT_GT(ink(0.5, 0.93), 0.02);

    const Lot one = grain_lot(Scale::kLog, {"0\r\n3\r\n30\r\n300\r\n3000\r\n30000\r\n"});
    text = text_of(one);
    EXPECT_NE(text.find("Run chart: values in order, logarithmic axis (1 value is 0: no logarithm, no point)"),
              std::string::npos) << text;
    EXPECT_EQ(by_label(one)["Geometric mean"].value, "300,00");
    EXPECT_GT(ink(0.5, 0.93), 0.02);
}

}  // namespace
}  // namespace tolvane::testing
