#include "qt/qt_clock_locale.h"

#include <QDateTime>

namespace tolvane {
namespace {

// The long time format without its time-zone part ("t" outside quoted
// literals): the list shows local time.
QString time_without_zone(const QString& format) {
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (quoted || c != QLatin1Char('t')) out += c;
    }
    return out.trimmed();
}

}  // namespace

QtClockLocale::QtClockLocale(QLocale locale)
    : locale_(std::move(locale)),
      date_format_(locale_.dateFormat(QLocale::ShortFormat)),
      time_format_(time_without_zone(locale_.timeFormat(QLocale::LongFormat))) {}

namespace {

LocalDateTime local(const QDateTime& t) {
    const QDate d = t.date();
    const QTime h = t.time();
    return {d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second()};
}

}  // namespace

LocalDateTime QtClockLocale::now() {
    return local(QDateTime::currentDateTime());
}

LocalDateTime QtClockLocale::at(std::chrono::system_clock::time_point moment) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch());
    return local(QDateTime::fromMSecsSinceEpoch(ms.count()).toLocalTime());
}

std::string QtClockLocale::decimal_separator() {
    return locale_.decimalPoint().toStdString();
}

std::string QtClockLocale::general_date_time(const LocalDateTime& when) {
    const QDate date(when.year, when.month, when.day);
    QString text = locale_.toString(date, date_format_);
    if (when.hour != 0 || when.minute != 0 || when.second != 0) {
        text += QLatin1Char(' ');
        text += locale_.toString(QTime(when.hour, when.minute, when.second), time_format_);
    }
    return text.toStdString();
}

}  // namespace tolvane
