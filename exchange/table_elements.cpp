#include "exchange/table_elements.h"

#include "gateway/frame.h"

namespace krogw {

TableLayout LayoutOrEmpty(const DriverContext& context, int table_type) {
    static constexpr uint8_t kNoColumns[kColumnTypeSlots] = {};
    if (table_type < 0 || table_type >= kTableTypes) {
        return TableLayout{kNoColumns, 0};
    }
    return TableLayoutOf(context, table_type);
}

uint8_t TimeStampType(const TableLayout& layout) {
    const uint8_t second = layout.column_types[1];
    return second == kElementTimeStamp || second == kElementShortTimeStamp ? second : 0;
}

size_t TimeStampBytes(uint8_t stamp_type) {
    return stamp_type == kElementTimeStamp ? kFullTimeStampBytes : kShortTimeStampBytes;
}

size_t BurstElementBytes(uint8_t element_type) {
    switch (element_type) {
        case kElement8Bit:
            return 1;
        case kElement16Bit:
            return 2;
        default:
            return 4;
    }
}

uint32_t RawValue(uint8_t element_type, const uint8_t* at) {
    switch (element_type) {
        case kElement8Bit:
            return static_cast<uint32_t>(at[0]) << 16;
        case kElement16Bit:
            return static_cast<uint32_t>(GetU16(at)) << 16;
        case kElement32Bit:
            return GetU32(at);
        default:
            return 0;
    }
}

bool ReadPollElement(const MessageView& message, uint8_t element_type, BitCursor& cursor,
                     uint32_t& raw) {
    if (element_type == kElement8Bit) {
        if (!message.Holds(cursor.position, 1)) {
            return false;
        }
        raw = (message.bytes[cursor.position] & cursor.mask) != 0 ? 0x10000u : 0u;
        cursor.mask = static_cast<uint8_t>(cursor.mask >> 1);
        if (cursor.mask == 0) {
            cursor.mask = 0x80;
            ++cursor.position;
        }
        return true;
    }
    BitCursor aligned = cursor;
    aligned.Realign();
    const size_t bytes = element_type == kElement16Bit ? 2 : 4;
    if (!message.Holds(aligned.position, bytes)) {
        return false;
    }
    raw = RawValue(element_type, message.bytes + aligned.position);
    cursor = BitCursor{aligned.position + bytes};
    return true;
}

}  // namespace krogw
