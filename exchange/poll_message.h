// The poll request (opcodes 257 and 261), built in a caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/context.h"

namespace krogw {

inline constexpr size_t kPollMessageBytes = 52;

// What a poll gate's subaddress packs: table (bits 24-31), table type (16-23), first
// row (8-15) and number of rows (0-7).
struct PollRange {
    uint8_t table;
    uint8_t table_type;
    uint8_t first_row;
    uint8_t row_count;
};

PollRange DecodePollSubaddress(int32_t subaddress);

// Everything the poll message carries besides the frame's constants.
struct PollRequest {
    uint32_t opcode;  // 257 or 261
    uint16_t channel_id;
    uint16_t rtu;
    PollRange range;
    uint8_t column_count;  // of the table type; 0 for a type beyond the layouts
};

// The poll of a gate (its unit_id and subaddress) on the active gateway, with the
// column count of its table type.
PollRequest MakePollRequest(const DriverContext& context, uint32_t opcode, int32_t unit_id,
                            int32_t subaddress);

// Returns the message's length (52), or 0 when the opcode is not a poll or the buffer
// cannot hold the message.
size_t BuildPollRequest(const PollRequest& poll, uint8_t* buffer, size_t capacity);

}  // namespace krogw
