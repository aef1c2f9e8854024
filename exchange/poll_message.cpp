#include "exchange/poll_message.h"

#include <cstring>

#include "gateway/frame.h"

namespace krogw {
namespace {

constexpr uint16_t kPollBodyBytes = kPollMessageBytes - kGwBodyOffset;

}  // namespace

PollRange DecodePollSubaddress(int32_t subaddress) {
    const auto bits = static_cast<uint32_t>(subaddress);
    return {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
            static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
}

PollRequest MakePollRequest(const DriverContext& context, uint32_t opcode, int32_t unit_id,
                            int32_t subaddress) {
    PollRequest poll{};
    poll.opcode = opcode;
    poll.channel_id = context.active_sockets.channel_id.load();
    poll.rtu = static_cast<uint16_t>(unit_id);
    poll.range = DecodePollSubaddress(subaddress);
    // The type byte can name 255 layouts; only 100 exist.
    poll.column_count =
        poll.range.table_type < kTableTypes ? context.column_count[poll.range.table_type] : 0;
    return poll;
}

size_t BuildPollRequest(const PollRequest& poll, uint8_t* buffer, size_t capacity) {
    if ((poll.opcode != kOpPoll && poll.opcode != kOpPollRowList) || buffer == nullptr ||
        capacity < kPollMessageBytes) {
        return 0;
    }
    GwFrame frame = GwRequestFrame(poll.opcode, poll.channel_id, kPollBodyBytes);
    frame.command.aux_word = poll.range.table_type;
    WriteGwFrame(frame, buffer, capacity);
    uint8_t* body = buffer + kGwBodyOffset;
    std::memset(body, 0, kPollBodyBytes);
    PutU16(body, poll.rtu);
    body[2] = poll.range.table;
    body[3] = poll.range.first_row;
    body[4] = poll.range.row_count;
    body[5] = 0;  // first column
    body[6] = poll.column_count;
    return kPollMessageBytes;
}

}  // namespace krogw
