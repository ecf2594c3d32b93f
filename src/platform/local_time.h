// Local wall-clock time, and a clock that tests can replace.
#pragma once

#include <functional>

namespace Vs5Platform {

struct LocalTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    bool SameDate(const LocalTime& o) const {
        return year == o.year && month == o.month && day == o.day;
    }
};

LocalTime LocalNow();

// Days since 1899-12-30 plus the fraction of the day (an automation date).
double AutomationDate(const LocalTime& t);

using LocalClock = std::function<LocalTime()>;

}  // namespace Vs5Platform
