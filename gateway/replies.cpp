#include "gateway/replies.h"

#include "gateway/frame.h"

namespace krogw {
namespace {

constexpr size_t kResultCodeEnd = kGwResultCodeOffset + 4;

constexpr size_t kOpenReplyTypeOffset = 38;
constexpr size_t kOpenReplyChannelIdOffset = 39;  // odd offset, read byte-wise
constexpr size_t kOpenReplyEnd = kOpenReplyChannelIdOffset + 2;

constexpr size_t kStatusWordOffset = kGwBodyOffset;
constexpr size_t kStatusReplyEnd = kStatusWordOffset + 4;

constexpr size_t kRtuValueOffsets[] = {53, 54, 55};
constexpr size_t kRtuFlagsOffset = 59;
constexpr size_t kRtuChannelStatusReplyEnd = kRtuFlagsOffset + 1;

}  // namespace

ReplyJudgement JudgeReply(const uint8_t* reply, size_t length, uint32_t expected_opcode,
                          size_t needed_bytes) {
    const size_t message = GwMessageLength(reply, length);
    if (message < kResultCodeEnd) {
        return {ReplyVerdict::Unexpected, 0};
    }
    const uint32_t result_code = GetU32(reply + kGwResultCodeOffset);
    if (result_code != 0) {
        return {ReplyVerdict::Refused, result_code};
    }
    if (expected_opcode != kAnyReplyOpcode && GetU32(reply + kGwOpcodeOffset) != expected_opcode) {
        return {ReplyVerdict::Unexpected, 0};
    }
    if (message < needed_bytes) {
        return {ReplyVerdict::Unexpected, 0};
    }
    return {ReplyVerdict::Accepted, 0};
}

OpenChannelReply JudgeOpenChannelReply(const uint8_t* reply, size_t length,
                                       uint8_t requested_type) {
    OpenChannelReply result{OpenChannelVerdict::TooShort, 0, 0, 0};
    const ReplyJudgement judgement = JudgeReply(reply, length, kAnyReplyOpcode, kOpenReplyEnd);
    if (judgement.verdict == ReplyVerdict::Refused) {
        result.verdict = OpenChannelVerdict::Refused;
        result.result_code = judgement.result_code;
        return result;
    }
    if (judgement.verdict != ReplyVerdict::Accepted) {
        return result;
    }
    result.channel_type = reply[kOpenReplyTypeOffset];
    if (result.channel_type != requested_type) {
        result.verdict = OpenChannelVerdict::TypeMismatch;
        return result;
    }
    result.verdict = OpenChannelVerdict::Accepted;
    result.channel_id = GetU16(reply + kOpenReplyChannelIdOffset);
    return result;
}

ReplyJudgement JudgeCloseChannelReply(const uint8_t* reply, size_t length) {
    return JudgeReply(reply, length, kAnyReplyOpcode, kResultCodeEnd);
}

ReplyJudgement JudgeSetModeReply(const uint8_t* reply, size_t length) {
    return JudgeReply(reply, length, kGwReplyBit | kOpSetMode, kResultCodeEnd);
}

GatewayStatusReply DecodeGatewayStatusReply(const uint8_t* reply, size_t length) {
    GatewayStatusReply result{
        JudgeReply(reply, length, kGwReplyBit | kOpGatewayStatus, kStatusReplyEnd), 0};
    if (result.judgement.verdict == ReplyVerdict::Accepted) {
        result.status_word = GetU32(reply + kStatusWordOffset);
    }
    return result;
}

RtuChannelStatusReply DecodeRtuChannelStatusReply(const uint8_t* reply, size_t length) {
    RtuChannelStatusReply result{
        JudgeReply(reply, length, kGwReplyBit | kOpRtuChannelStatus, kRtuChannelStatusReplyEnd),
        {}};
    if (result.judgement.verdict != ReplyVerdict::Accepted) {
        return result;
    }
    int value = 0;
    for (const size_t offset : kRtuValueOffsets) {
        result.values[value++] = reply[offset];
    }
    const uint8_t flags = reply[kRtuFlagsOffset];
    result.values[value++] = flags & 1u;
    result.values[value] = (flags >> 1) & 1u;
    return result;
}

}  // namespace krogw
