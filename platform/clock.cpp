#include "platform/clock.h"

#include <cstdlib>
#include <string>

namespace qorvcd {

Clock Clock::FromEnvironment() {
    Clock clock;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        char* end = nullptr;
        const long long value = std::strtoll(epoch, &end, 10);
        if (end && *end == '\0' && end != epoch && value >= 0) clock.fixed_ = std::time_t(value);
    }
    return clock;
}

std::time_t Clock::Now() const { return fixed_ ? *fixed_ : std::time(nullptr); }

static CalendarTime FromTm(const std::tm& t, long gmtOffsetSeconds) {
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
            int(gmtOffsetSeconds / (15 * 60))};
}

CalendarTime Clock::Utc() const {
    const std::time_t now = Now();
    std::tm t{};
    gmtime_r(&now, &t);
    return FromTm(t, 0);
}

CalendarTime Clock::Local() const {
    if (fixed_) return Utc();
    const std::time_t now = Now();
    std::tm t{};
    localtime_r(&now, &t);
    return FromTm(t, t.tm_gmtoff);
}

}  // namespace qorvcd
