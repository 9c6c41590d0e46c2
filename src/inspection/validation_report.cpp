#include "inspection/validation_report.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QFontMetricsF>
#include <algorithm>

#include "inspection/report_charts.h"

namespace tolvane {

namespace {

// In points on A4, margins of 15 mm, as the inspection report.
constexpr double kPageWidth = 595.28, kPageHeight = 841.89, kMargin = 42.5;
constexpr double kContentWidth = kPageWidth - 2 * kMargin;
constexpr double kBottom = kPageHeight - kMargin - 18;
constexpr double kRow = 13;

const QColor kPass(46, 125, 50), kFail(198, 40, 40), kGrid(190, 190, 190);

struct Column {
    QString title;
    double width;
    Qt::Alignment align;
};
const Column kColumns[] = {
    {"Figure", 62, Qt::AlignLeft},     {"Reference", 112, Qt::AlignRight},
    {"Computed", 112, Qt::AlignRight}, {"Digits", 40, Qt::AlignRight},
    {"", 90, Qt::AlignLeft},           {"Need", 30, Qt::AlignRight},
    {"Result", 34, Qt::AlignLeft},
};
constexpr double kGap = 4;

class Writer {
  public:
    Writer(QPdfWriter& device, QPainter& painter, const ValidationRun& run, const QLocale& locale)
        : device_(device), p_(painter), run_(run), locale_(locale) {
        place();
    }
    // `s` with its top at y, in points; fonts in quarter points (pixel
    // sizes are whole numbers), as the inspection report draws them.
    void text(double x, double y, const QString& s, double size, bool bold, double width,
              Qt::Alignment align = Qt::AlignLeft, const QColor& colour = Qt::black) {
        p_.save();
        p_.scale(0.25, 0.25);
        p_.setFont(report_font(size, bold));
        p_.setPen(colour);
        const QFontMetricsF m(p_.font());
        const QString shown = m.elidedText(s, Qt::ElideRight, width * 4);
        const double advance = m.horizontalAdvance(shown);
        const double left = align & Qt::AlignRight ? (x + width) * 4 - advance : x * 4;
        p_.drawText(QPointF(left, y * 4 + m.ascent()), shown);
        p_.restore();
    }
    // Room for `height` more on this page, else the next one.
    void need(double height) {
        if (y + height <= kBottom) return;
        footer();
        device_.newPage();
        ++page_;
        place();
        y = kMargin;
    }
    void finish() { footer(); }
    QString number(double x, int digits) const {
        return locale_.toString(x, 'g', std::clamp(digits, 1, 17));
    }
    QString shortest(double x) const {
        return locale_.toString(x, 'g', QLocale::FloatingPointShortest);
    }
    const QLocale& locale() const { return locale_; }
    QPainter& painter() { return p_; }
    double y = kMargin;

  private:
    void place() {
        p_.resetTransform();
        const double scale = device_.logicalDpiX() / 72.0;
        p_.scale(scale, scale);
    }
    void footer() {
        p_.setPen(QPen(kGrid, 0.5));
        p_.drawLine(QPointF(kMargin, kBottom + 4), QPointF(kPageWidth - kMargin, kBottom + 4));
        text(kMargin, kBottom + 7,
             "tolvane validation report · tolvane " + run_.version + " · " +
                 locale_.toString(run_.made, QLocale::ShortFormat),
             7, false, kContentWidth - 60);
        text(kPageWidth - kMargin - 60, kBottom + 7, QString("Page %1").arg(page_), 7, false, 60,
             Qt::AlignRight);
    }

    QPdfWriter& device_;
    QPainter& p_;
    const ValidationRun& run_;
    QLocale locale_;
    int page_ = 1;
};

void table(Writer& w, const DataSetCheck& set) {
    w.need(3 * kRow + 8 + kRow);
    w.text(kMargin, w.y, QString::fromStdString(set.name) + "  (n = " + w.locale().toString(qulonglong(set.n)) + ")" +
                             (set.pass() ? "" : "  — falls short"),
           11, true, kContentWidth, Qt::AlignLeft, set.pass() ? Qt::black : kFail);
    w.y += 16;
    w.text(kMargin, w.y, "Source: " + QString::fromStdString(set.source), 8, false, kContentWidth);
    w.y += kRow;
    double x = kMargin;
    for (const Column& c : kColumns) {
        w.text(x, w.y + 1.5, c.title, 8, true, c.width, c.align);
        x += c.width + kGap;
    }
    w.y += kRow;
    w.painter().setPen(QPen(kGrid, 0.5));
    w.painter().drawLine(QPointF(kMargin, w.y), QPointF(kPageWidth - kMargin, w.y));
    w.y += 2;
    for (const FigureCheck& f : set.figures) {
        w.need(kRow);
        const Expected& e = f.expected;
        const QString cells[] = {
            QString::fromStdString(e.figure),
            w.number(e.value, e.digits),
            f.computed ? w.shortest(*f.computed) : QString("none"),
            w.locale().toString(f.digits, 'f', 1) + "/" + QString::number(e.digits),
            QString(),
            w.locale().toString(e.need, 'f', 0),
            f.pass() ? QString("pass") : QString("FAIL"),
        };
        x = kMargin;
        for (size_t i = 0; i < std::size(kColumns); ++i) {
            const Column& c = kColumns[i];
            if (i == 4) {
                // The digits agreed as a bar of 15; a tick where the need lies.
                const double unit = c.width / 15;
                QPainter& p = w.painter();
                p.setPen(QPen(kGrid, 0.4));
                p.setBrush(Qt::NoBrush);
                p.drawRect(QRectF(x, w.y + 3, c.width, kRow - 6));
                p.setPen(Qt::NoPen);
                p.setBrush(f.pass() ? kPass : kFail);
                p.drawRect(QRectF(x, w.y + 3, unit * f.digits, kRow - 6));
                p.setPen(QPen(Qt::black, 0.8));
                p.drawLine(QPointF(x + unit * e.need, w.y + 1), QPointF(x + unit * e.need, w.y + kRow - 1));
                p.setBrush(Qt::NoBrush);
            } else {
                w.text(x, w.y + 1.5, cells[i], 8, i == 6, c.width, c.align,
                       i == 6 ? (f.pass() ? kPass : kFail) : QColor(Qt::black));
            }
            x += c.width + kGap;
        }
        w.y += kRow;
    }
    w.y += 10;
}

}  // namespace

QByteArray validation_report_pdf(const Validation& validation, const ValidationRun& run,
                                 const QLocale& locale) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(1200);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0)));
        writer.setTitle("tolvane validation report");
        writer.setCreator("tolvane " + run.version);
        QPainter painter(&writer);
        painter.setRenderHint(QPainter::Antialiasing);
        Writer w(writer, painter, run, locale);
        w.text(kMargin, w.y, "tolvane validation report", 16, true, kContentWidth);
        w.y += 26;
        const QString lines[] = {
            "Program: tolvane " + run.version,
            "Made: " + locale.toString(run.made, QLocale::LongFormat),
            "System: " + (run.system.isEmpty() ? QString("unknown") : run.system),
            "Each figure is computed by the program's own statistics from reference data built "
            "into it",
            "and compared with its published value: digits agreed = −log10(|computed − reference| "
            "/ |reference|),",
            "at most the digits the reference has. A figure passes when it agrees to the digits it "
            "needs (the bar's tick).",
        };
        for (const QString& line : lines) {
            w.text(kMargin, w.y, line, 8.5, false, kContentWidth);
            w.y += kRow;
        }
        w.y += 8;
        for (const DataSetCheck& set : validation.sets) table(w, set);
        for (const std::string& e : validation.errors) {
            w.need(kRow);
            w.text(kMargin, w.y, "Unreadable data set: " + QString::fromStdString(e), 9, true,
                   kContentWidth, Qt::AlignLeft, kFail);
            w.y += kRow;
        }
        w.need(3 * kRow);
        w.y += 4;
        const QString summary = locale.toString(qulonglong(validation.passed())) + " of " +
                                locale.toString(qulonglong(validation.figures())) + " figures of " +
                                locale.toString(qulonglong(validation.sets.size())) +
                                " data sets agree to the digits they need.";
        w.text(kMargin, w.y, "Summary: " + summary, 10, true, kContentWidth);
        w.y += 18;
        w.text(kMargin, w.y, validation.pass() ? "Result: PASS" : "Result: FAIL", 14, true,
               kContentWidth, Qt::AlignLeft, validation.pass() ? kPass : kFail);
        w.y += 22;
        w.finish();
    }
    return bytes;
}

}  // namespace tolvane
