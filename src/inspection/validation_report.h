#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include "quality/validation.h"

namespace tolvane {

// What the report says of the program and the machine it ran on.
struct ValidationRun {
    QString version;  // the program's, as --version prints it
    QString system;   // the operating system's name, empty when unknown
    QDateTime made;
};

// The validation as a PDF (A4) a lab can file: the title, the program's
// version, the date, the system; per data set a table of each figure's
// reference and computed value, the digits they agree to with a bar, the
// digits needed and pass or fail; then the summary. Numbers in the
// locale's form.
QByteArray validation_report_pdf(const Validation& validation, const ValidationRun& run,
                                 const QLocale& locale);

}  // namespace tolvane
