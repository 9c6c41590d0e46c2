#pragma once

#include <chrono>
#include <string>

namespace tolvane {

struct LocalDateTime {
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59

    bool operator==(const LocalDateTime&) const = default;
};

// The clock and the user's regional settings.
class ClockLocale {
  public:
    virtual ~ClockLocale() = default;
    virtual LocalDateTime now() = 0;
    // The local date and time at a moment of the wall clock: when a block
    // arrived, however long it waited since (the PC may have been suspended
    // meanwhile, which the monotonic clock does not count).
    virtual LocalDateTime at(std::chrono::system_clock::time_point moment) = 0;
    // The separator between whole and fraction digits, "." or ",".
    virtual std::string decimal_separator() = 0;
    // The regional general date-and-time text: short date and long time, the
    // date alone when the time is exactly midnight.
    virtual std::string general_date_time(const LocalDateTime& when) = 0;
};

}  // namespace tolvane
