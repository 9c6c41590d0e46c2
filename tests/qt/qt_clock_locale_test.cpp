#include "qt/qt_clock_locale.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <chrono>
#include <ctime>
#include <tuple>

namespace tolvane {
namespace {

TEST(QtClockLocale, GeneralDateTimeFollowsTheRegion) {
    QtClockLocale us(QLocale(QLocale::English, QLocale::UnitedStates));
    const std::string text = us.general_date_time({2026, 12, 6, 17, 54, 7});
    EXPECT_NE(text.find("12/6/26"), std::string::npos) << text;
    EXPECT_NE(text.find("5:54:07"), std::string::npos) << text;
    EXPECT_NE(text.find("PM"), std::string::npos) << text;

    QtClockLocale de(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(de.general_date_time({2026, 12, 6, 5, 54, 7}), "06.12.26 05:54:07");
    EXPECT_EQ(de.general_date_time({2026, 12, 7, 0, 0, 0}), "07.12.26");  // midnight: date alone
}

TEST(QtClockLocale, DecimalSeparatorFollowsTheRegion) {
    EXPECT_EQ(QtClockLocale(QLocale(QLocale::English, QLocale::UnitedStates)).decimal_separator(),
              ".");
    EXPECT_EQ(QtClockLocale(QLocale(QLocale::German, QLocale::Germany)).decimal_separator(), ",");
}

LocalDateTime fields(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// The local time of a moment, to the second, by the C library.
LocalDateTime local_of(std::chrono::system_clock::time_point moment) {
    const std::time_t s =
        std::chrono::floor<std::chrono::seconds>(moment).time_since_epoch().count();
    std::tm tm{};
    localtime_r(&s, &tm);
    return fields(tm);
}

std::tuple<int, int, int, int, int, int> key(const LocalDateTime& t) {
    return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

// at() of a moment gives its local time to the second, whatever its
// fraction (a moment just before a full second stays in that second); now()
// lies between the clock read before and after it.
TEST(QtClockLocale, NowAndAMomentAgoAreLocalTimes) {
    QtClockLocale clock(QLocale::c());
    using namespace std::chrono_literals;
    const std::chrono::system_clock::time_point base =
        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    for (const auto moment : {base - 200s, base - 200s + 999ms, base - 86400s * 183 + 1ms}) {
        const LocalDateTime t = clock.at(moment);
        EXPECT_EQ(key(t), key(local_of(moment))) << moment.time_since_epoch().count();
    }
    const auto before = std::chrono::system_clock::now();
    const LocalDateTime now = clock.now();
    const auto after = std::chrono::system_clock::now();
    // Microseconds apart: now() is in the second of one of them.
    EXPECT_TRUE(now == local_of(before) || now == local_of(after))
        << ::testing::PrintToString(key(now));
}

}  // namespace
}  // namespace tolvane
