// One write of a table element gate as it is sent or queued: a plain value that the
// command queue stores and the write messages are built from.
#pragma once

#include <cstdint>

namespace krogw {

inline constexpr int32_t kMaxWriteElements = 250;

// A single value (element count 1) or an array.
struct CommandWrite {
    int32_t rtu;
    int32_t subaddress;  // table * 4096 + column * 256 + row
    int32_t bit_width;   // 8, 16 or 32
    int32_t element_count;
    uint32_t single_value;    // the raw word of value-buffer bytes 0-3; used for count 1
    const uint8_t* elements;  // the array from value-buffer byte 0; used for other counts
};

// The RTU's table the write goes to: bits 12-19 of the subaddress.
inline uint8_t CommandTable(const CommandWrite& write) {
    return static_cast<uint8_t>(write.subaddress >> 12);
}

// Bytes the write's elements occupy in the value buffer (count for width 8, 2 x count
// for 16, 4 x count for 32), or -1 when the width is not 8, 16 or 32 or the count lies
// outside 0..250.
int32_t CommandElementBytes(int32_t bit_width, int32_t element_count);

// A width of 8, 16 or 32, a count of 0..250, and elements wherever an array has any.
bool IsValidCommandWrite(const CommandWrite& write);

}  // namespace krogw
