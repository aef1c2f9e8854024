#include "tools/check/reject_reason.h"

#include <cstring>
#include <initializer_list>

#include "address/address_check.h"
#include "address/address_templates.h"
#include "address/subaddress.h"
#include "config/table_layout.h"

namespace krogw_check {
namespace {

using krogw::AddressField;
using krogw::ReadFieldNumber;

// Every reason goes through here, its format a literal with a %d for each number:
// docs/addresses.md lists the formats, and a test holds the page to them.
std::string Reason(const char* format, std::initializer_list<int32_t> numbers = {}) {
    std::string text;
    auto number = numbers.begin();
    for (const char* at = format; *at != '\0'; ++at) {
        if (at[0] == '%' && at[1] == 'd' && number != numbers.end()) {
            text += std::to_string(*number++);
            ++at;
        } else {
            text += *at;
        }
    }
    return text;
}

// The table number and the table type at their positions; "" when both are good. A
// poll needs declared columns, a table element a first column type.
std::string TableReason(const AddressField& field, size_t table_at, size_t type_at,
                        const krogw::DriverContext& context, bool is_poll) {
    int32_t table = 0;
    ReadFieldNumber(field, table_at, 3, table);
    if (table > krogw::kMaxRtuTable) {
        return Reason("table %d is above %d", {table, krogw::kMaxRtuTable});
    }
    int32_t table_type = 0;
    ReadFieldNumber(field, type_at, 2, table_type);
    const krogw::TableLayout layout = krogw::TableLayoutOf(context, table_type);
    const bool declared =
        is_poll ? layout.column_count != 0 : layout.column_types[0] != krogw::kEndOfColumns;
    return declared ? "" : Reason("table type %d is not in the configuration", {table_type});
}

std::string RtuReason(const AddressField& field, size_t at) {
    int32_t rtu = 0;
    return krogw::ReadRtuNumber(field, at, rtu) ? "" : Reason("RTU number is not 1..65535");
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
    return Reason("first row %d is above %d", {first_row, krogw::kMaxRow});
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
        return Reason("column %d is above %d", {column, krogw::kMaxColumn});
    }
    if (row > krogw::kMaxRow) {
        return Reason("row %d is above %d", {row, krogw::kMaxRow});
    }
    const krogw::TableLayout layout = krogw::TableLayoutOf(context, table_type);
    const uint8_t type = layout.column_types[column];
    if (type == krogw::kElementTimeStamp || type == krogw::kElementShortTimeStamp) {
        return Reason("column %d of table type %d is a time stamp, not a value",
                      {column, table_type});
    }
    return Reason("table type %d has only %d columns, no column %d",
                  {table_type, layout.column_count, column});
}

// Which part of an address that matched a template made the driver's decoding fail.
std::string FormReason(const AddressField& field, const krogw::DriverContext& context) {
    if (std::strstr(field.text, "SETCALL") != nullptr) {
        return Reason("no SetCall parameter named (EXE, RTU, QR, QD, QC, SR or SD)");
    }
    switch (field.text[0]) {
        case '!':
            // Driver gates and !1 always pass; of the rest only !2, RTU states and
            // statistics fail.
            if (field.text[2] == '.') {
                return field.text[1] == '2' && context.secondary_configured == 0
                           ? Reason("no SECONDARY gateway is configured")
                           : Reason("no gateway statistic of that name");
            }
            if (field.text[6] == '.') {
                const std::string reason = RtuReason(field, 1);
                return reason.empty()
                           ? Reason("no RTU statistic of that name")
                           : reason;
            }
            return field.text[2] == ' ' ? Reason("no SECONDARY gateway is configured")
                                        : RtuReason(field, 1);
        case 'P':
        case 'C':
            return PollReason(field, context);
        case 'S': {
            const std::string reason = RtuReason(field, 1);
            return reason.empty() ? Reason("no C before the channel digit") : reason;
        }
        case 'T':
            return RtuReason(field, 1);
        default:
            return TableElementReason(field, context);
    }
}

std::string ArrayReason(krogw::GateKind kind, int32_t element_count) {
    switch (kind) {
        case krogw::RtuChannelStatus:
            return Reason("a channel status array has exactly 5 elements, not %d", {element_count});
        case krogw::TableElement:
            return Reason("an array of table values has 1..250 elements, not %d", {element_count});
        default:
            return Reason("only table elements and channel status are arrays");
    }
}

}  // namespace

std::string RejectReason(const std::string& address, std::optional<int32_t> element_count,
                         int32_t gate_id, krogw::DriverContext& context) {
    krogw::AddressCheck check{};
    if (!krogw::NormalizeAddress(address.c_str(), check.field)) {
        return Reason("longer than the 16 positions of an address");
    }
    if (!krogw::MatchesAnyTemplate(check.field)) {
        return Reason("matches none of the address forms");
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
                         : Reason("the address is already defined");
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
