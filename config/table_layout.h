// Table layouts: the element types of the columns of each table type 0..99, as the
// configuration declares them in lines such as 12=1,2,3,0.
#pragma once

#include <cstdint>

#include "config/config_reader.h"
#include "context/context.h"

namespace krogw {

enum ElementType : uint8_t {
    kEndOfColumns = 0,
    kElement8Bit = 1,
    kElement16Bit = 2,
    kElement32Bit = 3,
    kElementTimeStamp = 4,
    kElementShortTimeStamp = 5,
};
inline constexpr int kMaxColumns = kColumnTypeSlots - 1;

// One table type's layout, read from the context.
struct TableLayout {
    const uint8_t* column_types;  // kColumnTypeSlots entries, the list ends with 0
    uint8_t column_count;         // 0 while the table type is not declared
};
TableLayout TableLayoutOf(const DriverContext& context, int table_type);

// The width of a value that a gate may address in a column of this type: 8, 16 or 32
// bits; 0 for the end mark and the time stamps.
int32_t ValueBitWidth(uint8_t element_type);

// A line that holds no key: a table type line, or nothing when it does not begin
// with a number.
void ParseTableTypeLine(const char* line, ConfigSeen& seen, DriverContext& context);

}  // namespace krogw
