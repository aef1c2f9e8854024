// The packed sub-address words of table-element and poll gates.
#pragma once

#include <cstdint>

namespace krogw {

inline constexpr int32_t kMaxRtuTable = 128;
inline constexpr int32_t kMaxRow = 249;
inline constexpr int32_t kMaxColumn = 7;

// Bits 12..19 the RTU's table, 8..11 the column, 0..7 the row. The table type is not
// part of it: the burst decoder builds the same word from a received row.
struct TableElementPlace {
    int32_t table;
    int32_t column;
    int32_t row;
};
int32_t PackTableElement(const TableElementPlace& place);
TableElementPlace UnpackTableElement(int32_t subaddress);

// Bits 24..31 the RTU's table, 16..23 the table type, 8..15 the first row, 0..7 the
// number of rows.
struct PollBlock {
    int32_t table;
    int32_t table_type;
    int32_t first_row;
    int32_t rows;
};
int32_t PackPoll(const PollBlock& block);
PollBlock UnpackPoll(int32_t subaddress);

}  // namespace krogw
