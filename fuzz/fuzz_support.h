// What the fuzz targets share: resetting only the context fields that the code under
// test reads, so that an input costs microseconds rather than a 2.3 MB reset, and
// received messages whose bytes past total_length are out of bounds for ASan.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "context/context.h"
#include "gateway/frame.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define KROGW_FUZZ_POISON 1
#endif
#endif

namespace krogw::fuzz {

// A zone with daylight saving time, fixed, so that mktime neither depends on the
// machine nor looks for the machine's zone file on every conversion.
inline void SetFixedTimeZone() {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
}

// The configuration's fields, as ResetContext leaves them before a file is read.
inline void ResetConfigurationFields(DriverContext& context) {
    std::memset(context.column_types, 0, sizeof context.column_types);
    std::memset(context.column_count, 0, sizeof context.column_count);
    std::memset(context.primary_address, 0, sizeof context.primary_address);
    std::memset(context.secondary_address, 0, sizeof context.secondary_address);
    context.driver_number = 1;
    context.secondary_configured = 0;
    context.gateway_ok = 0;
    context.poll_buffer_length = 10;
    context.cmd_buffer_length = 10;
    context.cmd_response_time = 10000;
    context.sign_rtu_on_fail = 1;
    context.parse_flag = 1;
    context.poll_result_on_write = 1;
}

// Copies a received message into a buffer of the burst thread's size and returns it.
// Every byte past the message's total_length, and past the bytes received, is
// poisoned: a decoder that reads one is caught. The next call takes the buffer over.
inline const uint8_t* Receive(const uint8_t* data, size_t& size) {
    alignas(8) static uint8_t buffer[kThreadBufferBytes];
#if defined(KROGW_FUZZ_POISON)
    ASAN_UNPOISON_MEMORY_REGION(buffer, sizeof buffer);
#endif
    size = std::min(size, sizeof buffer);
    std::memcpy(buffer, data, size);
#if defined(KROGW_FUZZ_POISON)
    // The header is read to learn total_length, whatever it says.
    const size_t total = size >= kGwHeaderBytes ? GetU16(buffer + kGwTotalLengthOffset) : size;
    const size_t end = std::min(std::max(total, std::min(size, kGwHeaderBytes)), size);
    ASAN_POISON_MEMORY_REGION(buffer + end, sizeof buffer - end);
#endif
    return buffer;
}

// Table type `type` laid out from nine input bytes: the column count, then the types.
inline void SetLayoutFromBytes(DriverContext& context, int type, const uint8_t* bytes) {
    context.column_count[type] = static_cast<uint8_t>(bytes[0] % 9);
    std::memcpy(context.column_types[type], bytes + 1, 8);
    context.column_types[type][8] = 0;
}

// The fields every decoder reads besides the layouts and the RTUs: the !ERROR gate's
// and the time conversion's.
inline void ResetDecoderFields(DriverContext& context) {
    context.error_gate_id = 0;
    context.last_error_code = 1;
    context.local_hour = LocalHourMemo{};
}

}  // namespace krogw::fuzz
