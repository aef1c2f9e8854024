// Table type lines such as 12=1,2,3,0: the table type number, then after the "="
// one element type per entry, ending with 0.
#include <cstring>

#include "config/table_layout.h"
#include "context/decimal_text.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

// The list is built here and reaches the context only when the whole line is
// accepted, so that a refused line never leaves a layout that addresses or the data
// decoder could use.
struct ColumnList {
    uint8_t types[kColumnTypeSlots] = {};
    int stored = 0;
};

enum class ListEnd { Complete, Refused };

void Refuse(const char* format, const char* line, ConfigSeen& seen) {
    err(kLogError, format, line);
    ++seen.refused_lines;
}

// Time-stamped layouts: a 4 as the second type needs exactly three columns, a 5
// exactly four.
bool TimeStampRuleHolds(const ColumnList& list) {
    const int columns = list.stored - 1;  // before the terminating 0
    switch (list.types[1]) {
        case kElementTimeStamp:
            return columns == 3;
        case kElementShortTimeStamp:
            return columns == 4;
        default:
            return true;
    }
}

// Reads the entries that follow the "=". Each entry counts by its first character
// only: 0..5 is stored, 6..9 refuses the line, anything else is skipped.
ListEnd ReadColumnList(const char* entry, const char* line, ColumnList& list, ConfigSeen& seen) {
    for (;;) {
        const char first = *entry;
        if (first >= '6' && first <= '9') {
            Refuse("kroGW : Get Illegal entry type %s ", line, seen);
            return ListEnd::Refused;
        }
        if (first >= '0' && first <= '5') {
            list.types[list.stored++] = static_cast<uint8_t>(first - '0');
            if (first == '0') {
                return ListEnd::Complete;
            }
            if (list.stored == kColumnTypeSlots) {
                Refuse("kroGW : Get Bad Table type(more than 8)-> %s", line, seen);
                return ListEnd::Refused;
            }
        }
        entry = std::strchr(entry, ',');
        if (entry == nullptr) {
            Refuse("kroGW : Table type list does not end with 0, line refused: %s", line, seen);
            return ListEnd::Refused;
        }
        ++entry;
    }
}

}  // namespace

TableLayout TableLayoutOf(const DriverContext& context, int table_type) {
    return TableLayout{context.column_types[table_type], context.column_count[table_type]};
}

int32_t ValueBitWidth(uint8_t element_type) {
    switch (element_type) {
        case kElement8Bit:
            return 8;
        case kElement16Bit:
            return 16;
        case kElement32Bit:
            return 32;
        default:
            return 0;
    }
}

void ParseTableTypeLine(const char* line, ConfigSeen& seen, DriverContext& context) {
    int32_t table_type = 0;
    if (!ReadDecimal(line, 2, table_type)) {
        return;  // neither a key nor a number: not a configuration line
    }
    if (table_type < 0) {
        Refuse("kroGW : Negative table type number, line refused: %s", line, seen);
        return;
    }
    const char* equals = std::strchr(line, '=');
    if (equals == nullptr) {
        Refuse("kroGW : Illegal table type(=) %s", line, seen);
        return;
    }
    ColumnList list;
    if (ReadColumnList(equals + 1, line, list, seen) == ListEnd::Refused) {
        return;
    }
    if (!TimeStampRuleHolds(list)) {
        Refuse("kroGW : Get Illegal time stamp Type %s", line, seen);
        return;
    }
    std::memcpy(context.column_types[table_type], list.types, sizeof list.types);
    context.column_count[table_type] = static_cast<uint8_t>(list.stored - 1);
    seen.table_type = true;
    seen.accepted_table_types[static_cast<size_t>(table_type)] = true;
    err(kLogError, "kroGW : Get Table Type %s - O.K", line);
}

}  // namespace krogw
