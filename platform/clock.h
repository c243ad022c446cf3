// The build's clock. SOURCE_DATE_EPOCH fixes it so two builds of the same
// script give byte-identical images; tests may fix it directly.
#pragma once

#include <ctime>
#include <optional>

namespace qorvcd {

struct CalendarTime {
    int year;    // e.g. 2026
    int month;   // 1..12
    int day;     // 1..31
    int hour;
    int minute;
    int second;
    int gmtOffsetQuarters;  // offset from UTC in 15-minute units
};

class Clock {
public:
    // Reads SOURCE_DATE_EPOCH once; an unset or malformed value leaves the
    // clock running.
    static Clock FromEnvironment();
    static Clock Fixed(std::time_t when) { Clock c; c.fixed_ = when; return c; }

    std::time_t Now() const;
    bool IsFixed() const { return fixed_.has_value(); }
    // Universal time (a fixed clock is always read as UTC, so a reproducible
    // build does not depend on the machine's time zone).
    CalendarTime Utc() const;
    // Local time for dates shown to the user (UTC when fixed).
    CalendarTime Local() const;

private:
    std::optional<std::time_t> fixed_;
};

}  // namespace qorvcd
