#include "address/subaddress.h"

namespace krogw {
namespace {

// Packing is done unsigned: table 128 of a poll sets the word's top bit.
uint32_t Bits(int32_t value, uint32_t mask) {
    return static_cast<uint32_t>(value) & mask;
}

int32_t Field(int32_t subaddress, int shift, uint32_t mask) {
    return static_cast<int32_t>((static_cast<uint32_t>(subaddress) >> shift) & mask);
}

}  // namespace

int32_t PackTableElement(const TableElementPlace& place) {
    return static_cast<int32_t>(Bits(place.table, 0xFF) << 12 | Bits(place.column, 0xF) << 8 |
                                Bits(place.row, 0xFF));
}

TableElementPlace UnpackTableElement(int32_t subaddress) {
    return {Field(subaddress, 12, 0xFF), Field(subaddress, 8, 0xF), Field(subaddress, 0, 0xFF)};
}

int32_t PackPoll(const PollBlock& block) {
    return static_cast<int32_t>(Bits(block.table, 0xFF) << 24 | Bits(block.table_type, 0xFF) << 16 |
                                Bits(block.first_row, 0xFF) << 8 | Bits(block.rows, 0xFF));
}

PollBlock UnpackPoll(int32_t subaddress) {
    return {Field(subaddress, 24, 0xFF), Field(subaddress, 16, 0xFF), Field(subaddress, 8, 0xFF),
            Field(subaddress, 0, 0xFF)};
}

}  // namespace krogw
