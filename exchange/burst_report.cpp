#include "exchange/burst_report.h"

#include "context/statistics_count.h"

#include "exchange/element_store.h"
#include "exchange/error_gate.h"
#include "exchange/message_view.h"
#include "exchange/table_elements.h"
#include "gateway/frame.h"
#include "host/qivpro.h"
#include "include/krogw/abi.h"

namespace krogw {
namespace {

// A section: its command block, a 16-byte body with the RTU number, then its rows.
constexpr size_t kSectionDataLengthOffset = 12;
constexpr size_t kSectionRtuOffset = 16;
constexpr size_t kSectionRowsOffset = 32;
constexpr int32_t kSectionBodyBytes = 16;
constexpr size_t kRowHeadBytes = 2;  // table number and row number
constexpr int kSearchedRows = 100;

bool FindGateOnRow(const DriverContext& context, int32_t rtu, int32_t base, int32_t& gate_id) {
    for (int column = 0; column <= kMaxColumns; ++column) {
        if (FindElementGate(context, rtu, base + column * 256, gate_id)) {
            return true;
        }
    }
    return false;
}

// The table type of a row comes from any gate defined on its table: first on the
// row itself, then on rows 0 to 99.
bool FindGateOfTable(const DriverContext& context, int32_t rtu, int32_t table, int32_t row,
                     int32_t& gate_id) {
    if (FindGateOnRow(context, rtu, table * 4096 + row, gate_id)) {
        return true;
    }
    for (int searched = 0; searched < kSearchedRows; ++searched) {
        if (FindGateOnRow(context, rtu, table * 4096 + searched, gate_id)) {
            return true;
        }
    }
    return false;
}

enum class SectionEnd { Next, ReportDropped };

// Decodes the rows of one section from `position` on, while its announced row bytes
// last; `row_bytes` goes below 0 when the rows took more than announced.
SectionEnd DecodeSectionRows(DriverContext& context, const MessageView& message, int32_t rtu,
                             size_t& position, int32_t& row_bytes, uint64_t& stored) {
    while (row_bytes > 0) {
        if (!message.Holds(position, kRowHeadBytes)) {
            LogDataCutShort(kOpBurstReport, rtu, position);
            return SectionEnd::ReportDropped;
        }
        const int32_t table = message.bytes[position];
        const int32_t row = message.bytes[position + 1];
        int32_t gate_id = 0;
        if (!FindGateOfTable(context, rtu, table, row, gate_id)) {
            err(kLogError, "KroGW : Can not find definition for Rtu %d Tbl %d Kro Number %d", rtu,
                table, context.driver_number);
            err(kLogError, "KroGW : WARNING !!! Burst data lost (define gate for the above table)");
            return SectionEnd::ReportDropped;
        }
        const int table_type = context.gate_table_type[static_cast<uint16_t>(gate_id)];
        const size_t elements = position + kRowHeadBytes;
        const BurstRowTaken taken =
            DecodeBurstRow(context, rtu, table * 4096 + row, message.bytes + elements,
                           message.end - elements, table_type);
        stored += taken.stored;
        if (!taken.whole) {
            LogDataCutShort(kOpBurstReport, rtu, message.end);
            return SectionEnd::ReportDropped;
        }
        position = elements + taken.bytes;
        row_bytes -= static_cast<int32_t>(taken.bytes + kRowHeadBytes);
    }
    return SectionEnd::Next;
}

}  // namespace

BurstRowTaken DecodeBurstRow(DriverContext& context, int32_t rtu, int32_t base,
                             const uint8_t* elements, size_t available, int table_type) {
    const TableLayout layout = LayoutOrEmpty(context, table_type);
    const uint8_t stamp_type = TimeStampType(layout);
    size_t taken = 0;
    uint32_t stored = 0;
    for (int column = 0; column < layout.column_count; ++column) {
        const uint8_t element_type = layout.column_types[column];
        const size_t bytes = BurstElementBytes(element_type);
        const bool stamped = column == 0 && stamp_type != 0;
        const size_t stamp_bytes = stamped ? TimeStampBytes(stamp_type) : 0;
        if (bytes + stamp_bytes > available - taken) {
            return BurstRowTaken{taken, false, stored};
        }
        const uint32_t raw = RawValue(element_type, elements + taken);
        const StampAt stamp{stamp_type, elements + taken + bytes};
        const int32_t subaddress = base + column * 256;
        const StoreOutcome outcome =
            StoreElement(context, rtu, subaddress, raw, stamped ? &stamp : nullptr);
        stored += outcome == StoreOutcome::Stored ? 1 : 0;
        if (outcome == StoreOutcome::NoGate) {
            err(kLogTrace, "KroGW : Can not find gate for Rtu %d,Tbl %d,Row %d, col %d", rtu,
                (base >> 12) & 0xFF, base & 0xFF, column);
        }
        taken += bytes + stamp_bytes;
        if (stamped) {
            break;
        }
    }
    return BurstRowTaken{taken, true, stored};
}

void DecodeBurstReport(DriverContext& context, const uint8_t* buffer, size_t received) {
    const MessageView message = ViewMessage(buffer, received);
    if (!message.Holds(0, kGwBodyOffset)) {
        LogDataCutShort(kOpBurstReport, 0, message.end);
        return;
    }
    const uint32_t result_code = GetU32(buffer + kGwResultCodeOffset);
    if (result_code != 0) {
        err(kLogError, "KROGW : Got Burst Msg with error code %d", static_cast<int>(result_code));
        SetErrorGate(context, result_code);
        return;
    }
    size_t section = kGwHeaderBytes;
    int32_t row_bytes = 0;
    for (int sections = GetU16(buffer + 18); sections > 0; --sections) {
        if (!message.Holds(section, kSectionRowsOffset)) {
            LogDataCutShort(kOpBurstReport, 0, message.end);
            return;
        }
        const int32_t rtu = GetU16(buffer + section + kSectionRtuOffset);
        row_bytes = GetU16(buffer + section + kSectionDataLengthOffset) - kSectionBodyBytes;
        if (context.rtu_state[rtu] == RtuDisabled) {
            return;
        }
        context.rtu_state[rtu] = RtuActive;
        CountRtu(context, rtu, StatBursts);
        size_t position = section + kSectionRowsOffset;
        uint64_t stored = 0;
        const SectionEnd end =
            DecodeSectionRows(context, message, rtu, position, row_bytes, stored);
        NoteValuesStored(context, rtu, stored);
        if (end == SectionEnd::ReportDropped) {
            return;
        }
        section = position;
    }
    if (row_bytes < 0) {
        err(kLogError,
            " KroGW : WARNING !!! Lost burst data, Application not match(check tables definition)");
        SetErrorGate(context, kResultBurstLayoutMismatch);
    }
}

}  // namespace krogw
