#include "tools/check/reject_reason.h"

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

// The table number and the table type at their positions; "" when both are good. A
// poll needs declared columns, a table element a first column type.
std::string TableReason(const AddressField& field, size_t table_at, size_t type_at,
                        const krogw::DriverContext& context, bool is_poll) {
    int32_t table = 0;
    ReadFieldNumber(field, table_at, 3, table);
    if (table > krogw::kMaxRtuTable) {
        return Range("table", table, krogw::kMaxRtuTable);
    }
    int32_t table_type = 0;
    ReadFieldNumber(field, type_at, 2, table_type);
    const krogw::TableLayout layout = krogw::TableLayoutOf(context, table_type);
    const bool declared =
        is_poll ? layout.column_count != 0 : layout.column_types[0] != krogw::kEndOfColumns;
    return declared ? ""
                    : "table type " + std::to_string(table_type) + " is not in the configuration";
}

std::string RtuReason(const AddressField& field, size_t at) {
    int32_t rtu = 0;
    return krogw::ReadRtuNumber(field, at, rtu) ? "" : "RTU number is not 1..65535";
}

std::string PollReason(const AddressField& field, const krogw::DriverContext& context) {
    std::string reason = RtuReason(field, 1);
    if (reason.empty()) {
        reason = TableReason(field, 6, 9, context, true);
    }
    if (!reason.empty()) {
        return reason;
    }
    int32_t first_row = 0;
    ReadFieldNumber(field, 11, 3, first_row);
    return Range("first row", first_row, krogw::kMaxRow);
}

std::string TableElementReason(const AddressField& field, const krogw::DriverContext& context) {
    std::string reason = RtuReason(field, 0);
    if (reason.empty()) {
        reason = TableReason(field, 5, 8, context, false);
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
    if (column > krogw::kMaxColumn) {
        return Range("column", column, krogw::kMaxColumn);
    }
    if (row > krogw::kMaxRow) {
        return Range("row", row, krogw::kMaxRow);
    }
    const krogw::TableLayout layout = krogw::TableLayoutOf(context, table_type);
    const uint8_t type = layout.column_types[column];
    if (type == krogw::kElementTimeStamp || type == krogw::kElementShortTimeStamp) {
        return "column " + std::to_string(column) + " of table type " + std::to_string(table_type) +
               " is a time stamp, not a value";
    }
    return "table type " + std::to_string(table_type) + " has only " +
           std::to_string(layout.column_count) + " columns, no column " + std::to_string(column);
}

// Which part of an address that matched a template made the driver's decoding fail.
std::string FormReason(const AddressField& field, const krogw::DriverContext& context) {
    if (std::strstr(field.text, "SETCALL") != nullptr) {
        return "no SetCall parameter named (EXE, RTU, QR, QD, QC, SR or SD)";
    }
    switch (field.text[0]) {
        case '!':
            // Driver gates and !1 always pass; of the rest only !2 and RTU states fail.
            return field.text[2] == ' ' ? "no SECONDARY gateway is configured"
                                        : RtuReason(field, 1);
        case 'P':
        case 'C':
            return PollReason(field, context);
        case 'S': {
            const std::string reason = RtuReason(field, 1);
            return reason.empty() ? "no C before the channel digit" : reason;
        }
        case 'T':
            return RtuReason(field, 1);
        default:
            return TableElementReason(field, context);
    }
}

std::string ArrayReason(krogw::GateKind kind, int32_t element_count) {
    const std::string given = ", not " + std::to_string(element_count);
    switch (kind) {
        case krogw::RtuChannelStatus:
            return "a channel status array has exactly 5 elements" + given;
        case krogw::TableElement:
            return "an array of table values has 1..250 elements" + given;
        default:
            return "only table elements and channel status are arrays";
    }
}

}  // namespace

std::string RejectReason(const std::string& address, std::optional<int32_t> element_count,
                         int32_t gate_id, krogw::DriverContext& context) {
    krogw::AddressCheck check{};
    if (!krogw::NormalizeAddress(address.c_str(), check.field)) {
        return "longer than the 16 positions of an address";
    }
    if (!krogw::MatchesAnyTemplate(check.field)) {
        return "matches none of the address forms";
    }
    // The driver's own decoding tells whether the address alone passes; the duplicate
    // test, the one thing left for a single gate, is not run again.
    check.allow_duplicates = true;
    krogw::AddressCheckArguments arguments{};
    arguments.address_text = address.c_str();
    arguments.gate_id = gate_id;
    krogw::GateAddress words{};
    if (!krogw::DecodeAddress(check, arguments, context, words)) {
        return FormReason(check.field, context);
    }
    return element_count ? ArrayReason(static_cast<krogw::GateKind>(words.kind), *element_count)
                         : "the address is already defined";
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
