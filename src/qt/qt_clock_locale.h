#pragma once

#include <QLocale>

#include "platform/clock_locale.h"

namespace tolvane {

// The system clock and the user's regional settings (QLocale::system() by
// default; tests pass a fixed locale).
class QtClockLocale final : public ClockLocale {
  public:
    explicit QtClockLocale(QLocale locale = QLocale::system());

    LocalDateTime now() override;
    LocalDateTime at(std::chrono::system_clock::time_point moment) override;
    std::string decimal_separator() override;
    std::string general_date_time(const LocalDateTime& when) override;

  private:
    QLocale locale_;
    QString date_format_;
    QString time_format_;
};

}  // namespace tolvane
