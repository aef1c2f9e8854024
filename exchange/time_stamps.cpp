#include "exchange/time_stamps.h"

#include <cstdint>

#include "gateway/frame.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

// Two-digit years 00..69 are 2000..2069.
int YearsSince1900(int year_field) {
    return year_field < 70 ? year_field + 100 : year_field;
}

void PutStamped(DriverContext& context, const char* format, int32_t gate_id, double value,
                const RtuTimeStamp& stamp) {
    const LocalDateTime& t = stamp.time;
    err(kLogTrace, format, t.day, t.month, t.years_since_1900, t.hour, t.minute, t.second,
        stamp.milliseconds);
    // The host's seconds are a signed 32-bit value: an instant after 2038-01-19 03:14:07
    // UTC goes as -1, as a 32-bit local-time conversion gives it, instead of wrapping
    // into the early 1900s.
    const int64_t instant = LocalCalendarSeconds(context.local_hour, t);
    const bool fits = instant >= INT32_MIN && instant <= INT32_MAX;
    if (!fits) {
        err(kLogTrace, "KroGW : Time Stamp beyond the host's seconds, gate id %d stored with -1",
            static_cast<int>(gate_id));
    }
    const int32_t seconds = fits ? static_cast<int32_t>(instant) : -1;
    if (QivPutGateVal(context.client, gate_id, 2, value, seconds, stamp.milliseconds) != 0) {
        err(kLogError, "KroGW : Write gate id %x fail", static_cast<unsigned>(gate_id));
    }
}

}  // namespace

RtuTimeStamp ReadFullTimeStamp(const uint8_t* at) {
    return RtuTimeStamp{{YearsSince1900(at[2]), at[1], at[0], at[3], at[4], at[5]}, GetU16(at + 6)};
}

RtuTimeStamp ReadShortTimeStamp(const uint8_t* at) {
    const unsigned date = GetU16(at);
    const unsigned clock = GetU16(at + 2);
    const unsigned seconds = GetU16(at + 4);
    return RtuTimeStamp{
        {YearsSince1900(static_cast<int>((date >> 4) & 0xFF)), static_cast<int>(date & 0xF),
         static_cast<int>(clock >> 11), static_cast<int>((clock >> 6) & 0x1F),
         static_cast<int>(clock & 0x3F), static_cast<int>(seconds >> 10)},
        static_cast<int>(seconds & 0x3FF)};
}

void PutFullTimeStamp(DriverContext& context, int32_t gate_id, double value, const uint8_t* at) {
    PutStamped(context, "KroGW : Time Stamp = %d-%d-%d,%d:%d:%d,Msec=%d", gate_id, value,
               ReadFullTimeStamp(at));
}

void PutShortTimeStamp(DriverContext& context, int32_t gate_id, double value, const uint8_t* at) {
    PutStamped(context, "KroGW : Short Time Stamp = %d-%d-%d,%d:%d:%d,Msec=%d", gate_id, value,
               ReadShortTimeStamp(at));
}

}  // namespace krogw
