// Local date and time to calendar seconds, as mktime gives them with daylight saving
// left to the conversion, at the cost of one look at the zone's offsets per hour
// rather than a conversion per call.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace krogw {

struct LocalDateTime {
    int years_since_1900;
    int month;  // 1..12
    int day;
    int hour;
    int minute;
    int second;
};

// Remembers in `memo` the start of the hour converted last. Fields out of their
// ranges, and the hours in which the zone's offset changes, are converted each time.
int64_t LocalCalendarSeconds(LocalHourMemo& memo, const LocalDateTime& time);

}  // namespace krogw
