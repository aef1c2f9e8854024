// The numeric table element form RRRRRMMMYYWWWc: one column of one row of an RTU
// table, decoded by the table type's layout.
#include "address/address_check.h"
#include "address/subaddress.h"
#include "config/table_layout.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

// Two gates of one instance must not share a table element: a received value could
// reach only one of them. The host's own look-up answers whether one exists.
bool PassesDuplicateTest(const AddressCheck& check, const AddressCheckArguments& arguments,
                         const DriverContext& context, const GateAddress& words) {
    if (context.parse_flag == 0 || check.allow_duplicates) {
        return true;
    }
    int32_t found_gate_id = 0;
    const uint16_t status =
        QivGetGateIdByAddress(context.client, context.driver_number - 1, words.unit_id,
                              TableElement, words.subaddress, kFixedWord, &found_gate_id);
    if (status != 0 || found_gate_id == arguments.gate_id) {
        return true;
    }
    err(kLogError, "KroGW : Can not define address %s twice !!!", arguments.address_text);
    return false;
}

}  // namespace

bool DecodeTableElement(const AddressCheck& check, const AddressCheckArguments& arguments,
                        DriverContext& context, GateAddress& words) {
    const AddressField& field = check.field;
    words.kind = TableElement;
    if (!ReadRtuNumber(field, 0, words.unit_id)) {
        return false;
    }
    TableElementPlace place{};
    ReadFieldNumber(field, 5, 3, place.table);
    if (place.table > kMaxRtuTable) {
        return false;
    }
    int32_t table_type = 0;
    ReadFieldNumber(field, 8, 2, table_type);
    if (table_type < 0 || table_type >= kTableTypes) {
        return false;
    }
    const TableLayout layout = TableLayoutOf(context, table_type);
    if (layout.column_types[0] == kEndOfColumns) {
        return false;
    }
    // Noted before the remaining tests: the burst decoder finds the layout by gate id.
    context.gate_table_type[static_cast<uint16_t>(arguments.gate_id)].store(
        static_cast<uint8_t>(table_type), std::memory_order_relaxed);
    ReadFieldNumber(field, 13, 1, place.column);
    if (place.column > kMaxColumn) {
        return false;
    }
    ReadFieldNumber(field, 10, 3, place.row);
    if (place.row > kMaxRow) {
        return false;
    }
    words.subaddress = PackTableElement(place);
    words.bit_width = ValueBitWidth(layout.column_types[place.column]);
    if (words.bit_width == 0) {
        return false;
    }
    return PassesDuplicateTest(check, arguments, context, words);
}

}  // namespace krogw
