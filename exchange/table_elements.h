// Table elements as they stand in the gateway's data: their sizes, their raw values
// as QivCook takes them, and the bit cursor of poll replies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/table_layout.h"
#include "exchange/message_view.h"

namespace krogw {

inline constexpr size_t kFullTimeStampBytes = 8;
inline constexpr size_t kShortTimeStampBytes = 6;

// The layout of a table type number that came from outside; a number past the last
// table type has no columns.
TableLayout LayoutOrEmpty(const DriverContext& context, int table_type);

// The time stamp that follows column 0 of a time-stamped layout (column 1 of type 4
// or 5): kElementTimeStamp, kElementShortTimeStamp, or 0 when there is none.
uint8_t TimeStampType(const TableLayout& layout);
size_t TimeStampBytes(uint8_t stamp_type);

// Bytes of an element in a burst report: 1 for type 1, 2 for type 2, 4 otherwise.
size_t BurstElementBytes(uint8_t element_type);
// The raw value of an element of a burst size at `at`; 16-bit values and bytes sit in
// the upper half, types other than 1, 2 and 3 give 0.
uint32_t RawValue(uint8_t element_type, const uint8_t* at);

// Reads poll replies: a type-1 element is one bit from the most significant down,
// every other read starts on a fresh byte.
struct BitCursor {
    size_t position;
    uint8_t mask = 0x80;

    void Realign() {
        if (mask != 0x80) {
            ++position;
            mask = 0x80;
        }
    }
};

// Reads one element of a poll reply at the cursor and advances it; false, with the
// cursor where the element began, when the element does not lie whole inside.
bool ReadPollElement(const MessageView& message, uint8_t element_type, BitCursor& cursor,
                     uint32_t& raw);

}  // namespace krogw
