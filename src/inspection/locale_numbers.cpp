#include "inspection/locale_numbers.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tolvane {

NumberSymbols number_symbols(const QLocale& locale) {
    return {locale.decimalPoint().toStdString(), locale.negativeSign().toStdString(),
            locale.positiveSign().toStdString(), locale.exponential().toUpper().toStdString()};
}

QString display_text(const std::optional<double>& number, const NumberForm& form,
                     const QLocale& locale, bool sign) {
    if (!number || !std::isfinite(*number)) return QStringLiteral("—");
    return QString::fromStdString(display_text(*number, form, number_symbols(locale), sign));
}

ReportNumbers::ReportNumbers(const QLocale& locale, const Lot& lot)
    : locale_(locale), symbols_(number_symbols(locale)) {
    std::vector<double> all;
    for (const Record& r : lot.records)
        for (const RecordValue& v : r.values)
            if (v.number) all.push_back(v.number->value());
    values_ = form_of(all);
    derived_ = form_of(all, 2);
}

QString ReportNumbers::ratio(std::optional<double> x) const {
    return x ? locale_.toString(*x, 'f', 2) : QString::fromUtf8("—");
}

QString ReportNumbers::percent(std::optional<double> share) const {
    return share ? locale_.toString(*share * 100, 'f', 2) + " %" : QString::fromUtf8("—");
}

QString ReportNumbers::count(size_t n) const {
    return locale_.toString(qulonglong(n));
}

QString ReportNumbers::alone(double x) const {
    return QString::fromStdString(display_text(x, symbols_));
}

QString ReportNumbers::in(double x, const NumberForm& form, bool sign) const {
    return QString::fromStdString(display_text(x, form, symbols_, sign));
}

QString factor_text(const std::optional<double>& gsd, const QLocale& locale, bool near_one) {
    if (!gsd || !std::isfinite(*gsd)) return QStringLiteral("—");
    if (*gsd >= 100) return QStringLiteral("×/÷ ") + locale.toString(*gsd, 'E', 2);
    int decimals = 2;
    if (near_one && *gsd > 1 && *gsd < 1.1)
        decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(*gsd - 1))), 2, 6);
    return QStringLiteral("×/÷ ") + locale.toString(*gsd, 'f', decimals);
}

}  // namespace tolvane
