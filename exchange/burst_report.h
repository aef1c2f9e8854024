// Burst reports (2049): table rows that RTUs send on their own, in one or more
// sections of one RTU each, with the table type taken from a gate of the row's table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/context.h"

namespace krogw {

// Decodes the report in buffer[0..received). Reads nothing past the message's
// total_length or the bytes received: rows that lie whole inside are stored, and a
// row that does not ends the report.
void DecodeBurstReport(DriverContext& context, const uint8_t* buffer, size_t received);

struct BurstRowTaken {
    size_t bytes;     // the element bytes the layout gives the row
    bool whole;       // false: the row ran past `available`, and only what lay inside was stored
    uint32_t stored;  // the values stored into gates
};

// Stores the elements of one row of table type `table_type` found at `elements`, of
// which `available` bytes may be read. `base` is table * 4096 + row.
BurstRowTaken DecodeBurstRow(DriverContext& context, int32_t rtu, int32_t base,
                             const uint8_t* elements, size_t available, int table_type);

}  // namespace krogw
