// The RTU's own time stamps that follow column 0 of a time-stamped row, and the
// storing of a value with one.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "exchange/local_time.h"

namespace krogw {

struct RtuTimeStamp {
    LocalDateTime time;
    int milliseconds;
};

// Eight bytes: day, month, year, hour, minute, second, milliseconds (network order).
RtuTimeStamp ReadFullTimeStamp(const uint8_t* at);
// Three network-order words: month and year; minute, hour and day; milliseconds and
// second.
RtuTimeStamp ReadShortTimeStamp(const uint8_t* at);

// Store the value into the gate with the time stamp at `at`, taken as local time.
void PutFullTimeStamp(DriverContext& context, int32_t gate_id, double value, const uint8_t* at);
void PutShortTimeStamp(DriverContext& context, int32_t gate_id, double value, const uint8_t* at);

}  // namespace krogw
