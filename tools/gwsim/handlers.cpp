#include "tools/gwsim/handlers.h"

#include <algorithm>

namespace gwsim {

std::vector<uint8_t> BuildReply(const Request& request, uint32_t result,
                                const std::vector<uint8_t>& body) {
    krogw::GwFrame reply = request.frame;
    reply.header.head_mark = 1;
    reply.header.status = krogw::kGwStatusNormal;
    reply.header.total_length = static_cast<uint16_t>(krogw::kGwBodyOffset + body.size());
    reply.header.tail_mark = 1;
    reply.command.opcode = request.type() | krogw::kGwReplyBit;
    reply.command.result_code = result;
    reply.command.data_length = static_cast<uint16_t>(body.size());
    std::vector<uint8_t> bytes(krogw::kGwBodyOffset);
    krogw::WriteGwFrame(reply, bytes.data(), bytes.size());
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

std::vector<uint8_t> EchoBody(const Request& request, size_t length) {
    std::vector<uint8_t> body(length, 0);
    const size_t available = std::min(length, request.body_length());
    std::copy_n(request.bytes.begin() + krogw::kGwBodyOffset, available, body.begin());
    return body;
}

std::optional<std::vector<uint8_t>> HandleRequest(GatewayState& state, const Request& request) {
    if (request.bytes.size() < krogw::kGwBodyOffset) {
        return std::nullopt;
    }
    switch (request.type()) {
        case krogw::kOpOpenChannel:
            return HandleOpenChannel(state, request);
        case krogw::kOpCloseChannel:
            return HandleCloseChannel(state, request);
        case krogw::kOpSetMode:
            return HandleSetMode(state, request);
        case krogw::kOpGatewayStatus:
            return HandleGatewayStatus(state, request);
        case krogw::kOpRtuChannelStatus:
            return HandleRtuChannelStatus(state, request);
        case krogw::kOpPoll:
        case krogw::kOpPollRowList:
            return HandlePoll(state, request);
        case krogw::kOpSendData:
        case krogw::kOpSendCommand:
            return HandleWrite(state, request);
        case krogw::kOpSetRtuTime:
            return HandleSetRtuTime(state, request);
        case krogw::kOpSetCall:
            return HandleSetCall(state, request);
        default:
            return BuildReply(request, kResultUnknownOpcode,
                              EchoBody(request, std::min<size_t>(request.body_length(), 16)));
    }
}

std::vector<uint8_t> BuildUnknownMessage(uint32_t opcode, uint16_t channel_id) {
    krogw::GwFrame frame = krogw::GwRequestFrame(opcode, channel_id, 16);
    frame.header.status = krogw::kGwStatusNormal;
    std::vector<uint8_t> bytes(krogw::kGwBodyOffset + 16, 0);
    krogw::WriteGwFrame(frame, bytes.data(), bytes.size());
    return bytes;
}

}  // namespace gwsim
