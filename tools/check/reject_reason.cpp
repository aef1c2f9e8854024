#include "tools/check/reject_reason.h"

#include <cctype>
#include <cstring>

#include "address/address_check.h"
#include "address/address_templates.h"
#include "address/subaddress.h"
#include "config/table_layout.h"

namespace krogw_check {
namespace {

using krogw::AddressField;
using krogw::ReadFieldNumber;

std::string Range(const char* what, int32_t value, int32_t highest) {
    return std::string(what) + " " + std::to_string(value) + " is above " + std::to_string(highest);
}

// The table number and the table type at their positions, checked against the
// configuration; "" when both are good.
std::string TableReason(const AddressField& field, size_t table_at, size_t type_at,
                        const krogw::DriverContext& context) {
    int32_t table = 0;
    ReadFieldNumber(field, table_at, 3, table);
    if (table > krogw::kMaxRtuTable) {
        return Range("table", table, krogw::kMaxRtuTable);
    }
    int32_t table_type = 0;
    ReadFieldNumber(field, type_at, 2, table_type);
    if (table_type < 0 || table_type >= krogw::kTableTypes ||
        krogw::TableLayoutOf(context, table_type).column_count == 0) {
        return "table type " + std::to_string(table_type) + " is not in the configuration";
    }
    return "";
}

std::string RtuReason(const AddressField& field, size_t at) {
    int32_t rtu = 0;
    return krogw::ReadRtuNumber(field, at, rtu) ? "" : "RTU number is not 1..65535";
}

std::string TableElementReason(const AddressField& field, const krogw::DriverContext& context) {
    std::string reason = RtuReason(field, 0);
    if (reason.empty()) {
        reason = TableReason(field, 5, 8, context);
    }
    if (!reason.empty()) {
        return reason;
    }
    int32_t table_type = 0;
    int32_t column = 0;
    int32_t row = 0;
    ReadFieldNumber(field, 8, 2, table_type);
    ReadFieldNumber(field, 13, 1, column);
    ReadFieldNumber(field, 10, 3, row);
    const krogw::TableLayout layout = krogw::TableLayoutOf(context, table_type);
    if (column >= layout.column_count) {
        return "table type " + std::to_string(table_type) + " has only " +
               std::to_string(layout.column_count) + " columns, no column " +
               std::to_string(column);
    }
    if (row > krogw::kMaxRow) {
        return Range("row", row, krogw::kMaxRow);
    }
    if (krogw::ValueBitWidth(layout.column_types[column]) == 0) {
        return "column " + std::to_string(column) + " of table type " + std::to_string(table_type) +
               " is a time stamp, not a value";
    }
    return "the address is already defined";
}

std::string FormReason(const AddressField& field, const krogw::DriverContext& context) {
    if (std::strstr(field.text, "SETCALL") != nullptr) {
        return "no SetCall parameter named (EXE, RTU, QR, QD, QC, SR or SD)";
    }
    switch (field.text[0]) {
        case '!':
            if (field.text[2] == ' ') {
                return field.text[1] == '2' ? "no SECONDARY gateway is configured"
                                            : "no such gateway, driver or RTU state gate";
            }
            return RtuReason(field, 1);
        case 'P':
        case 'C': {
            std::string reason = RtuReason(field, 1);
            return reason.empty() ? TableReason(field, 6, 9, context) : reason;
        }
        case 'S': {
            std::string reason = RtuReason(field, 1);
            if (!reason.empty()) {
                return reason;
            }
            return field.text[6] != 'C' ? "no C before the channel digit" : "channel is above 5";
        }
        case 'T':
            return RtuReason(field, 1);
        default:
            return TableElementReason(field, context);
    }
}

}  // namespace

std::string RejectReason(const std::string& address, int32_t element_count,
                         const krogw::DriverContext& context) {
    AddressField field{};
    if (!krogw::NormalizeAddress(address.c_str(), field)) {
        return "longer than the 16 positions of an address";
    }
    if (!krogw::MatchesAnyTemplate(field)) {
        return "matches none of the address forms";
    }
    std::string reason = FormReason(field, context);
    if (element_count > 0 && (reason.empty() || reason == "the address is already defined")) {
        reason = field.text[0] == 'S' ? "a channel status array has exactly 5 elements"
                 : std::isdigit(static_cast<unsigned char>(field.text[0]))
                     ? "an array has 1..250 elements"
                     : "only table elements and channel status are arrays";
    }
    return reason;
}

std::string UnfedColumnWarning(const krogw::GateAddress& words, int table_type,
                               const krogw::DriverContext& context) {
    const krogw::TableLayout layout = krogw::TableLayoutOf(context, table_type);
    const int column = krogw::UnpackTableElement(words.subaddress).column;
    if (words.kind != krogw::TableElement || column == 0 || layout.column_count < 2 ||
        (layout.column_types[1] != krogw::kElementTimeStamp &&
         layout.column_types[1] != krogw::kElementShortTimeStamp)) {
        return "";
    }
    return "column " + std::to_string(column) + " of time-stamped table type " +
           std::to_string(table_type) +
           " never receives a value: only column 0 of a time-stamped row carries one";
}

}  // namespace krogw_check
