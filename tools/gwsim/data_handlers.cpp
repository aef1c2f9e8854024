// Polls answered from the table model, writes applied to it, RTU clocks and SetCall.
#include <string>
#include <vector>

#include "tools/gwsim/connection.h"
#include "tools/gwsim/handlers.h"
#include "tools/gwsim/row_encoding.h"

namespace gwsim {
namespace {

// The body shared by polls and writes: RTU, table, first row, rows, first column, columns.
struct RowRange {
    uint16_t rtu;
    uint8_t table;
    int first_row;
    int rows;
    int column;
};

constexpr size_t kRangeBodyBytes = 16;
constexpr size_t kClockBytes = 7;
constexpr uint8_t kEndOfRows = 255;

RowRange ReadRowRange(const Request& request) {
    const uint8_t* body = request.bytes.data() + krogw::kGwBodyOffset;
    return {krogw::GetU16(body), body[2], body[3], body[4], body[5]};
}

// The RTU's table, or the result code that refuses the request.
const RtuTable* FindServedTable(GatewayState& state, const RowRange& range, uint32_t* refusal) {
    Rtu* rtu = state.model.FindRtu(range.rtu);
    if (rtu == nullptr || !rtu->online) {
        *refusal = kResultRtuOffline;
        return nullptr;
    }
    const auto table = rtu->tables.find(range.table);
    if (table == rtu->tables.end() || range.first_row + range.rows > table->second.rows) {
        *refusal = kResultBadAddress;
        return nullptr;
    }
    return &table->second;
}

void Note(const GatewayState& state, const std::string& line) {
    if (state.log) {
        state.log(line);
    }
}

size_t WriteDataBytes(uint8_t element_type, int count) {
    switch (element_type) {
        case krogw::kElement8Bit:
            return static_cast<size_t>((count + 7) / 8);
        case krogw::kElement16Bit:
            return 2 * static_cast<size_t>(count);
        default:
            return 4 * static_cast<size_t>(count);
    }
}

uint32_t ReadWrittenElement(uint8_t element_type, const uint8_t* data, int index) {
    const auto at = static_cast<size_t>(index);
    switch (element_type) {
        case krogw::kElement8Bit:
            return (data[at / 8] & (0x80 >> (at % 8))) != 0 ? 1 : 0;
        case krogw::kElement16Bit:
            return krogw::GetU16(data + 2 * at);
        default:
            return krogw::GetU32(data + 4 * at);
    }
}

}  // namespace

std::vector<uint8_t> HandlePoll(GatewayState& state, const Request& request) {
    std::vector<uint8_t> body = EchoBody(request, kRangeBodyBytes);
    if (request.body_length() < kRangeBodyBytes) {
        return BuildReply(request, kResultBadRequest, body);
    }
    const RowRange range = ReadRowRange(request);
    uint32_t refusal = kResultOk;
    const RtuTable* served = FindServedTable(state, range, &refusal);
    if (served == nullptr) {
        return BuildReply(request, refusal, body);
    }
    const uint8_t asked_type = static_cast<uint8_t>(request.frame.command.aux_word);
    if (asked_type != served->type_number) {
        Note(state, "poll of RTU " + std::to_string(range.rtu) + " table " +
                        std::to_string(range.table) + " names table type " +
                        std::to_string(asked_type) + ", the table has type " +
                        std::to_string(served->type_number));
    }
    RtuTable& table = *state.model.FindTable(range.rtu, range.table);
    DataWriter writer(body);
    const bool row_list = request.type() == krogw::kOpPollRowList;
    std::vector<int> sent_rows;
    for (int row = range.first_row; row < range.first_row + range.rows; ++row) {
        if (row_list) {
            if (!table.changed[static_cast<size_t>(row)]) {
                continue;
            }
            writer.U8(static_cast<uint8_t>(row));
            sent_rows.push_back(row);
        }
        WritePollRow(writer, table, row);
    }
    if (row_list) {
        writer.U8(kEndOfRows);
    }
    NoteClampedStamps(state.log, range.rtu, writer);
    if (krogw::kGwBodyOffset + body.size() > kMaxMessageBytes) {
        // Refused: the rows stay changed for the next row-list poll.
        return BuildReply(request, kResultBadRequest, EchoBody(request, kRangeBodyBytes));
    }
    for (const int row : sent_rows) {
        table.changed[static_cast<size_t>(row)] = false;
    }
    return BuildReply(request, kResultOk, body);
}

std::vector<uint8_t> HandleWrite(GatewayState& state, const Request& request) {
    const std::vector<uint8_t> body = EchoBody(request, kRangeBodyBytes);
    if (request.body_length() < kRangeBodyBytes) {
        return BuildReply(request, kResultBadRequest, body);
    }
    const RowRange range = ReadRowRange(request);
    uint32_t refusal = kResultOk;
    if (FindServedTable(state, range, &refusal) == nullptr) {
        return BuildReply(request, refusal, body);
    }
    RtuTable& table = *state.model.FindTable(range.rtu, range.table);
    const std::vector<uint8_t>& columns = table.layout.columns;
    const auto column = static_cast<size_t>(range.column);
    if (column >= columns.size() || columns[column] > krogw::kElement32Bit ||
        (column > 0 && table.layout.TimeStamped())) {
        return BuildReply(request, kResultBadAddress, body);
    }
    const uint8_t element_type = columns[column];
    if (range.rows == 0 ||
        request.body_length() != kRangeBodyBytes + WriteDataBytes(element_type, range.rows)) {
        return BuildReply(request, kResultBadRequest, body);
    }
    const uint8_t* data = request.bytes.data() + krogw::kGwBodyOffset + kRangeBodyBytes;
    for (int index = 0; index < range.rows; ++index) {
        StoreValue(table, range.first_row + index, range.column,
                   ReadWrittenElement(element_type, data, index));
    }
    return BuildReply(request, kResultOk, body);
}

std::vector<uint8_t> HandleSetRtuTime(GatewayState& state, const Request& request) {
    const std::vector<uint8_t> body = EchoBody(request, kRangeBodyBytes);
    if (request.body_length() < kRangeBodyBytes + kClockBytes) {
        return BuildReply(request, kResultBadRequest, body);
    }
    Rtu* rtu = state.model.FindRtu(krogw::GetU16(body.data()));
    if (rtu == nullptr || !rtu->online) {
        return BuildReply(request, kResultRtuOffline, body);
    }
    const uint8_t* clock = request.bytes.data() + krogw::kGwBodyOffset + kRangeBodyBytes;
    rtu->clock =
        RtuClock{1980 + clock[0], clock[1], clock[2], clock[3], clock[4], clock[5], clock[6]};
    return BuildReply(request, kResultOk, body);
}

std::vector<uint8_t> HandleSetCall(GatewayState& state, const Request& request) {
    const std::vector<uint8_t> body = EchoBody(request, kRangeBodyBytes);
    if (request.body_length() < kRangeBodyBytes + kClockBytes) {
        return BuildReply(request, kResultBadRequest, body);
    }
    const uint8_t* params = request.bytes.data() + krogw::kGwBodyOffset + kRangeBodyBytes;
    state.setcalls.push_back({krogw::GetU16(body.data()), params[0], krogw::GetU16(params + 1),
                              params[3], params[4], krogw::GetU16(params + 5)});
    return BuildReply(request, kResultOk, body);
}

}  // namespace gwsim
