#include "qt/qt_clock_locale.h"

#include <gtest/gtest.h>

#include <QDateTime>

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

// now(), and at() of a moment 200 s ago, as local times (to the second: the
// two clocks are read at slightly different moments).
TEST(QtClockLocale, NowAndAMomentAgoAreLocalTimes) {
    QtClockLocale clock(QLocale::c());
    for (const int ago : {0, 200}) {
        const QDateTime before = QDateTime::currentDateTime().addSecs(-ago);
        const LocalDateTime t =
            ago ? clock.at(std::chrono::system_clock::now() - std::chrono::seconds(ago))
                : clock.now();
        const QDateTime after = QDateTime::currentDateTime().addSecs(-ago);
        const QDateTime got(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
        EXPECT_GE(got.toSecsSinceEpoch(), before.toSecsSinceEpoch() - 1) << ago;
        EXPECT_LE(got.toSecsSinceEpoch(), after.toSecsSinceEpoch() + 1) << ago;
    }
}

}  // namespace
}  // namespace tolvane
