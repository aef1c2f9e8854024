#include "exchange/poll_reply.h"

#include <algorithm>

#include "context/counters.h"
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

constexpr uint8_t kEndOfRows = 255;
// Rows beyond 255 have no address: the row takes bits 0-7 of the sub-address.
constexpr int kRowLimit = 256;

struct PolledTable {
    int32_t rtu;
    int32_t table;
    int first_row;
    int end_row;  // one past the last row polled
    TableLayout layout;
    uint8_t stamp_type;
};

enum class RowEnd { Next, Finished, CutShort };

// Decodes the columns of one row at the cursor. In the row-list form the row names
// itself first, and 255 finishes the data.
RowEnd DecodeRow(DriverContext& context, const MessageView& message, const PolledTable& polled,
                 bool numbered, int& row, BitCursor& cursor, uint64_t& stored) {
    for (int column = 0; column < polled.layout.column_count; ++column) {
        if (numbered && column == 0) {
            cursor.Realign();
            if (!message.Holds(cursor.position, 1)) {
                return RowEnd::CutShort;
            }
            const uint8_t named = message.bytes[cursor.position++];
            if (named == kEndOfRows) {
                return RowEnd::Finished;
            }
            row = named;
        }
        const uint8_t element_type = polled.layout.column_types[column];
        uint32_t raw = 0;
        if (!ReadPollElement(message, element_type, cursor, raw)) {
            return RowEnd::CutShort;
        }
        const int32_t subaddress = polled.table * 4096 + column * 256 + row;
        const bool stamped = column == 0 && polled.stamp_type != 0;
        StampAt stamp{polled.stamp_type, nullptr};
        if (stamped) {
            cursor.Realign();
            if (!message.Holds(cursor.position, TimeStampBytes(polled.stamp_type))) {
                return RowEnd::CutShort;
            }
            stamp.bytes = message.bytes + cursor.position;
        }
        const StoreOutcome outcome =
            StoreElement(context, polled.rtu, subaddress, raw, stamped ? &stamp : nullptr);
        stored += outcome == StoreOutcome::Stored ? 1 : 0;
        if (outcome == StoreOutcome::NoGate && polled.table != 0) {
            err(kLogTrace, "KroGW : Fail to find gate for rtu %d, Tbl %d, Row %d, Col %d",
                polled.rtu, polled.table, row, column);
        }
        if (stamped) {
            cursor.position += TimeStampBytes(polled.stamp_type);
            return RowEnd::Next;
        }
    }
    return RowEnd::Next;
}

// Returns the values stored.
uint64_t DecodeRows(DriverContext& context, const MessageView& message, const PolledTable& polled,
                    uint32_t type) {
    const bool numbered = type == kOpPollRowList;
    BitCursor cursor{kPollReplyDataOffset};
    uint64_t stored = 0;
    for (int row = polled.first_row; row < polled.end_row; ++row) {
        switch (DecodeRow(context, message, polled, numbered, row, cursor, stored)) {
            case RowEnd::Next:
                break;
            case RowEnd::Finished:
                return stored;
            case RowEnd::CutShort:
                LogDataCutShort(type, polled.rtu, cursor.position);
                return stored;
        }
    }
    return stored;
}

// A reply with result 129 tells that the gateway lost the RTU.
void MarkCommunicationFailed(DriverContext& context, int32_t rtu) {
    context.rtu_state[rtu] = RtuCommunicationFailed;
    if (context.sign_rtu_on_fail == 1) {
        QivSetPlcCommStatus(context.client, context.driver_number, rtu, 1, 1);
    }
}

}  // namespace

void DecodePollReply(DriverContext& context, const uint8_t* buffer, size_t received,
                     uint32_t type) {
    DecrementNotBelowZero(context.polls_in_flight);
    const MessageView message = ViewMessage(buffer, received);
    if (!message.Holds(0, kPollReplyDataOffset)) {
        err(kLogError, "KroGW : Poll reply of %d bytes lacks the poll it answers - dropped",
            static_cast<int>(message.end));
        return;
    }
    const uint32_t result_code = GetU32(buffer + kGwResultCodeOffset);
    const int32_t rtu = GetU16(buffer + 36);
    const int32_t table = buffer[38];
    SetErrorGate(context, result_code);
    CountRtu(context, rtu, result_code == 0 ? StatPollOk : StatPollFail);
    if (context.rtu_state[rtu] == RtuDisabled) {
        return;
    }
    if (result_code != 0) {
        if (result_code == kResultRtuCommunicationFailed) {
            MarkCommunicationFailed(context, rtu);
        }
        err(kLogError, "KROGW : Got Poll error %d,Rtu %d,Tbl %d", static_cast<int>(result_code),
            rtu, table);
        return;
    }
    context.rtu_state[rtu] = RtuActive;
    err(kLogTrace, "KROGW : Got Polling data From RTU %d, Tbl %d", rtu, table);

    const int table_type = buffer[34];
    if (table_type >= kTableTypes) {
        err(kLogError, "KroGW : Poll reply from Rtu %d names table type %d, which is not declared",
            rtu, table_type);
        return;
    }
    const TableLayout layout = TableLayoutOf(context, table_type);
    const int first_row = buffer[39];
    const uint64_t stored =
        DecodeRows(context, message,
                   PolledTable{rtu, table, first_row, std::min(first_row + buffer[40], kRowLimit),
                               layout, TimeStampType(layout)},
                   type);
    NoteValuesStored(context, rtu, stored);
}

}  // namespace krogw
