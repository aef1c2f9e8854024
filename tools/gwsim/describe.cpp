#include "tools/gwsim/describe.h"

#include <cstdio>

#include "gateway/frame.h"

namespace gwsim {

namespace {

const char* OpcodeName(uint32_t type) {
    switch (type) {
        case krogw::kOpOpenChannel:
            return "open channel";
        case krogw::kOpCloseChannel:
            return "close channel";
        case krogw::kOpSetMode:
            return "set mode";
        case krogw::kOpGatewayStatus:
            return "gateway status";
        case krogw::kOpRtuChannelStatus:
            return "RTU channel status";
        case krogw::kOpPoll:
            return "poll";
        case krogw::kOpSendData:
            return "send data";
        case krogw::kOpSendCommand:
            return "send command";
        case krogw::kOpPollRowList:
            return "poll row-list";
        case krogw::kOpSetCall:
            return "SetCall";
        case krogw::kOpSetRtuTime:
            return "set RTU time";
        case krogw::kOpBurstReport:
            return "burst report";
        default:
            return "unknown";
    }
}

}  // namespace

std::string Describe(const std::vector<uint8_t>& message) {
    krogw::GwFrame frame{};
    if (!krogw::ReadGwFrame(message.data(), message.size(), &frame)) {
        return std::to_string(message.size()) + " bytes without a command block";
    }
    const uint32_t type = krogw::GwMessageType(frame.command.opcode);
    char line[200];
    std::snprintf(
        line, sizeof line, "%s%s (0x%X) channel 0x%04X status 0x%X result %u aux %u, %zu bytes",
        OpcodeName(type), (frame.command.opcode & krogw::kGwReplyBit) != 0 ? " reply" : "",
        frame.command.opcode, frame.header.channel_id, frame.header.status,
        frame.command.result_code, frame.command.aux_word, message.size());
    return line;
}

std::string PlanNotes(const OutgoingPlan& plan) {
    std::string notes;
    if (plan.delay_ms > 0) {
        notes += " [delayed " + std::to_string(plan.delay_ms) + " ms]";
    }
    if (plan.piece_bytes > 0) {
        notes += " [in pieces of " + std::to_string(plan.piece_bytes) + " bytes, " +
                 std::to_string(plan.piece_pause_ms) + " ms apart]";
    }
    if (plan.byte_override) {
        notes += " [byte " + std::to_string(plan.byte_override->first) + " set to " +
                 std::to_string(plan.byte_override->second) + "]";
    }
    return notes;
}

}  // namespace gwsim
