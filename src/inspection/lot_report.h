#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "quality/lot.h"
#include "quality/tolerances.h"
#include "records/record.h"

class QPagedPaintDevice;

namespace tolvane {

// Draws the inspection report on A4 pages: the file and selection, the
// tolerance, the statistics with the sigma each figure used, the run chart
// (one record) or the X-bar and s chart (several) and the histogram as
// vector graphics, then the values, with page numbers and the date made.
// For a QPdfWriter or a QPrinter alike.
void paint_lot_report(QPagedPaintDevice& device, const Lot& lot, const QLocale& locale,
                      const QDateTime& made);

// The figures of the lot as the report lists them: what, how much, which
// sigma it used (or how it was found), and for a capability index its
// method's name (method_name). On the log scale they are those of log10 of
// the values (a geometric mean, a geometric standard deviation as a factor),
// but for the minimum, the maximum and the values out of tolerance.
struct LotFigure {
    QString label, value, how;
    QString method = {};  // empty but for a capability index
    // Which figure of the scale's fit it is ("gmean", "gsd", "not_positive",
    // "pp_pct", "ppk_pct"), for a view that words it its own way; else empty.
    const char* key = "";
};
std::vector<LotFigure> lot_figures(const Lot& lot, const QLocale& locale);

// The methods of the capability figures the report shows, each its
// formula and sigma in lines (method_formula), and the normality check in
// words, its numbers in the locale's form.
QStringList lot_methods(const Lot& lot, const QLocale& locale);

// The report as a PDF document.
QByteArray lot_report_pdf(const Lot& lot, const QLocale& locale, const QDateTime& made);

}  // namespace tolvane
