// Feeds arbitrary bytes, as a gateway might send them, to the frame parser and to
// every reply judge. The input is the buffer: nothing may be read past its end, and
// whatever a judge accepts must lie inside the message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "gateway/frame.h"
#include "gateway/replies.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace krogw;
    GwFrame frame{};
    Require(ReadGwFrame(data, size, &frame) == (size >= kGwBodyOffset));
    GwHeader header{};
    Require(ReadGwHeader(data, size, &header) == (size >= kGwHeaderBytes));

    const size_t message = GwMessageLength(data, size);
    Require(message == 0 || (message >= kGwHeaderBytes && message <= size));

    for (const uint8_t type : {uint8_t{0}, uint8_t{7}}) {
        const OpenChannelReply open = JudgeOpenChannelReply(data, size, type);
        Require(open.verdict != OpenChannelVerdict::Accepted || message >= 41);
        Require(open.verdict != OpenChannelVerdict::Refused || open.result_code != 0);
    }
    const ReplyJudgement close = JudgeCloseChannelReply(data, size);
    Require(close.verdict != ReplyVerdict::Refused || close.result_code != 0);
    const ReplyJudgement mode = JudgeSetModeReply(data, size);
    Require(mode.verdict != ReplyVerdict::Accepted ||
            (message >= 32 && GetU32(data + kGwOpcodeOffset) == (kGwReplyBit | kOpSetMode)));
    const GatewayStatusReply status = DecodeGatewayStatusReply(data, size);
    Require(status.judgement.verdict != ReplyVerdict::Accepted || message >= 40);
    const RtuChannelStatusReply rtu = DecodeRtuChannelStatusReply(data, size);
    if (rtu.judgement.verdict == ReplyVerdict::Accepted) {
        Require(message >= 60 && rtu.values[3] <= 1 && rtu.values[4] <= 1);
    }
    return 0;
}
