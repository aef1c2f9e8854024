// Judging the gateway's replies to the channel and status exchanges. Pure functions
// over a buffer and its length: they look only at bytes inside both the buffer and
// the message's own total_length.
#pragma once

#include <cstddef>
#include <cstdint>

namespace krogw {

enum class ReplyVerdict : uint8_t {
    Accepted,    // result_code 0, the expected opcode, every examined byte present
    Refused,     // the gateway answered with a non-zero result_code
    Unexpected,  // another reply opcode, or a message too short for what is examined
};

struct ReplyJudgement {
    ReplyVerdict verdict;
    uint32_t result_code;  // meaningful when Refused
};

// Pass as expected_opcode when the reply's opcode is not examined.
inline constexpr uint32_t kAnyReplyOpcode = 0;

// Judges a reply by its result_code, then its opcode, then whether the message holds
// at least needed_bytes.
ReplyJudgement JudgeReply(const uint8_t* reply, size_t length, uint32_t expected_opcode,
                          size_t needed_bytes);

enum class OpenChannelVerdict : uint8_t {
    Accepted,
    Refused,       // non-zero result_code
    TypeMismatch,  // the gateway confirmed another channel type
    TooShort,      // the message ends before the fields examined
};

struct OpenChannelReply {
    OpenChannelVerdict verdict;
    uint32_t result_code;  // when Refused
    uint8_t channel_type;  // the type the gateway confirmed, when TypeMismatch or Accepted
    uint16_t channel_id;   // when Accepted
};

// The reply's opcode is not examined.
OpenChannelReply JudgeOpenChannelReply(const uint8_t* reply, size_t length, uint8_t requested_type);

// Only the result_code of a close-channel reply is examined.
ReplyJudgement JudgeCloseChannelReply(const uint8_t* reply, size_t length);
ReplyJudgement JudgeSetModeReply(const uint8_t* reply, size_t length);

struct GatewayStatusReply {
    ReplyJudgement judgement;
    uint32_t status_word;  // when Accepted
};
GatewayStatusReply DecodeGatewayStatusReply(const uint8_t* reply, size_t length);

inline constexpr int kRtuChannelStatusValues = 5;

struct RtuChannelStatusReply {
    ReplyJudgement judgement;
    uint16_t values[kRtuChannelStatusValues];  // when Accepted
};
RtuChannelStatusReply DecodeRtuChannelStatusReply(const uint8_t* reply, size_t length);

}  // namespace krogw
