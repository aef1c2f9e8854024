#include "exchange/local_time.h"

#include <ctime>
#include <limits>

#include "platform/platform.h"

namespace krogw {
namespace {

// Marks a remembered hour in which seconds do not all lie at one offset.
constexpr int32_t kUnevenHour = std::numeric_limits<int32_t>::min();
constexpr int64_t kMaxOffset = int64_t{2} * 86400;

int64_t Convert(const LocalDateTime& time) {
    std::tm fields{};
    fields.tm_year = time.years_since_1900;
    fields.tm_mon = time.month - 1;
    fields.tm_mday = time.day;
    fields.tm_hour = time.hour;
    fields.tm_min = time.minute;
    fields.tm_sec = time.second;
    fields.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&fields));
}

// Days from 1 January 1970 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

// The hour's seconds as if local time were UTC.
int64_t UniversalSeconds(const LocalDateTime& time) {
    return DaysFromCivil(1900 + time.years_since_1900, time.month, time.day) * 86400 +
           int64_t{time.hour} * 3600 + int64_t{time.minute} * 60 + time.second;
}

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

// How far local time runs ahead of UTC at the instant.
bool OffsetAt(int64_t instant, int64_t& offset) {
    PlatformTime local{};
    if (!PlatformLocalTimeOf(instant, local)) {
        return false;
    }
    offset = UniversalSeconds({local.year - 1900, local.month, local.day, local.hour, local.minute,
                               local.second}) -
             instant;
    return true;
}

// From the zone's offsets at instants, not mktime, which reads the zone again on
// every call (allocating, in glibc); only an uneven hour is left to mktime.
int32_t OffsetOfHour(const LocalDateTime& time) {
    LocalDateTime hour = time;
    hour.minute = 0;
    hour.second = 0;
    const int64_t start = UniversalSeconds(hour);
    int64_t guess = 0;
    int64_t offset = 0;
    int64_t at_start = 0;
    int64_t at_last = 0;
    if (!OffsetAt(start, guess) || !OffsetAt(start - guess, offset) ||
        !OffsetAt(start - offset, at_start) || !OffsetAt(start + 3599 - offset, at_last) ||
        at_start != offset || at_last != offset || offset < -kMaxOffset || offset > kMaxOffset) {
        return kUnevenHour;
    }
    return static_cast<int32_t>(offset);
}

}  // namespace

int64_t LocalCalendarSeconds(LocalHourMemo& memo, const LocalDateTime& time) {
    if (!InRange(time.years_since_1900, 0, 1000) || !InRange(time.month, 1, 12) ||
        !InRange(time.day, 1, 31) || !InRange(time.hour, 0, 23) || !InRange(time.minute, 0, 59) ||
        !InRange(time.second, 0, 59)) {
        return Convert(time);
    }
    // Never 0, as the month is never 0: a reset memo remembers nothing.
    const auto key = static_cast<uint32_t>(
        ((time.years_since_1900 * 16 + time.month) * 32 + time.day) * 32 + time.hour);
    if (memo.hour_key != key) {
        memo = LocalHourMemo{key, OffsetOfHour(time)};
    }
    if (memo.utc_offset == kUnevenHour) {
        return Convert(time);
    }
    return UniversalSeconds(time) - memo.utc_offset;
}

}  // namespace krogw
