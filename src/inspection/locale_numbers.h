#pragma once

#include <QLocale>
#include <QString>
#include <cstddef>
#include <optional>

#include "quality/display_number.h"
#include "quality/lot.h"

namespace tolvane {

// The symbols of the locale's number form, for the display forms of the
// logic (quality/display_number.h).
NumberSymbols number_symbols(const QLocale& locale);
// A number for a person in `form`, in the locale's symbols; "—" when there
// is no figure.
QString display_text(const std::optional<double>& number, const NumberForm& form,
                     const QLocale& locale, bool sign = false);

// A geometric standard deviation as the factor it is: "×/÷ 2.30", from 100
// on in the form of the values ("×/÷ 4.09E+04"), whose digits beyond the
// third mean nothing; close to 1 with `near_one` as many decimals as show
// how far from 1 ("×/÷ 1.0057"); "—" without one.
QString factor_text(const std::optional<double>& gsd, const QLocale& locale,
                    bool near_one = false);

// The report's numbers in the user's regional form, through the display
// forms: the lot's values in the one form they share, the figures derived
// from them (a mean, a standard deviation) with two decimals more, ratios
// with two, counts whole; "—" for a figure there is not.
class ReportNumbers {
  public:
    ReportNumbers(const QLocale& locale, const Lot& lot);

    QString value(std::optional<double> x) const { return display_text(x, values_, locale_); }
    QString derived(std::optional<double> x) const { return display_text(x, derived_, locale_); }
    QString ratio(std::optional<double> x) const;
    QString percent(std::optional<double> share) const;
    QString count(size_t n) const;
    // A number on its own, in the form it needs alone.
    QString alone(double x) const;
    // In a form of the caller's: a column of the values table.
    QString in(double x, const NumberForm& form, bool sign = false) const;

    const QLocale& locale() const { return locale_; }
    const NumberSymbols& symbols() const { return symbols_; }

  private:
    QLocale locale_;
    NumberSymbols symbols_;
    NumberForm values_, derived_;
};

}  // namespace tolvane
