// The write messages: send data (258) and send command (259), set RTU time (1028) and
// SetCall (513), each built in a caller's buffer. Builders return the message's length,
// or 0 when the write is not valid or the buffer cannot hold the message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "include/krogw/abi.h"
#include "platform/platform.h"

namespace krogw {

inline constexpr int32_t kMaxWriteElements = 250;
inline constexpr size_t kWriteMessageHeadBytes =
    52;  // frame and the 16-byte body before the values
inline constexpr size_t kSetRtuTimeMessageBytes = 59;
inline constexpr size_t kSetCallMessageBytes = 59;

// One write of a table element gate: a single value (element count 1) or an array.
struct CommandWrite {
    int32_t rtu;
    int32_t subaddress;  // table * 4096 + column * 256 + row
    int32_t bit_width;   // 8, 16 or 32
    int32_t element_count;
    uint32_t single_value;    // the raw word of value-buffer bytes 0-3; used for count 1
    const uint8_t* elements;  // the array from value-buffer byte 0; used for other counts
};

// The write that a gate write request asks for.
CommandWrite CommandWriteFromRequest(const GateIoArguments& arguments);

// Bytes the write's elements occupy in the value buffer (count for width 8, 2 x count
// for 16, 4 x count for 32), or -1 when the width is not 8, 16 or 32 or the count lies
// outside 0..250.
int32_t CommandElementBytes(int32_t bit_width, int32_t element_count);

// A width of 8, 16 or 32, a count of 0..250, and elements wherever an array has any.
bool IsValidCommandWrite(const CommandWrite& write);

// 259 for a single value, 258 otherwise.
uint32_t CommandOpcode(const CommandWrite& write);

size_t BuildCommandMessage(const CommandWrite& write, uint16_t channel_id, uint8_t* buffer,
                           size_t capacity);

size_t BuildSetRtuTimeMessage(uint16_t rtu, const PlatformTime& local_time, uint16_t channel_id,
                              uint8_t* buffer, size_t capacity);

// The six stored parameters, in the order of the SETCALL gates.
struct SetCallParameters {
    int32_t rtu;
    int32_t qr;
    int32_t qd;
    int32_t qc;
    int32_t sr;
    int32_t sd;
};

size_t BuildSetCallMessage(const SetCallParameters& params, uint16_t channel_id, uint8_t* buffer,
                           size_t capacity);

}  // namespace krogw
