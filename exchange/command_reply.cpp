#include "exchange/command_reply.h"

#include "context/context.h"
#include "exchange/command_message.h"
#include "gateway/frame.h"

namespace krogw {
namespace {

constexpr size_t kReplyRtuOffset = kGwBodyOffset;
constexpr size_t kReplyTableOffset = kGwBodyOffset + 2;

LateReplyOutcome FailureOutcome(uint32_t result_code) {
    if (result_code == kRtuFailedCode) {
        return {true, RtuCommunicationFailed, false, LateReplyLog::Failure};
    }
    return {false, 0, false, LateReplyLog::Failure};
}

}  // namespace

bool ReadCommandReply(const uint8_t* message, size_t received, CommandReply* reply) {
    const size_t end = GwMessageLength(message, received);
    if (reply == nullptr || end == 0) {
        return false;
    }
    *reply = CommandReply{};
    reply->status = GetU32(message + kGwStatusOffset);
    if (end < kGwBodyOffset) {
        return true;
    }
    reply->has_command_block = true;
    reply->type = GwMessageType(GetU32(message + kGwOpcodeOffset));
    reply->result_code = GetU32(message + kGwResultCodeOffset);
    if (end >= kReplyRtuOffset + 2) {
        reply->has_rtu = true;
        reply->rtu = GetU16(message + kReplyRtuOffset);
    }
    if (end >= kReplyTableOffset + 1) {
        reply->has_table = true;
        reply->table = message[kReplyTableOffset];
    }
    return true;
}

bool ReplyKeyOf(const CommandReply& reply, SyncReplyKey* key) {
    if (!reply.has_command_block || !reply.has_rtu) {
        return false;
    }
    if (reply.type == kOpSetRtuTime) {
        *key = SetRtuTimeReplyKey(reply.rtu);
        return true;
    }
    if ((reply.type != kOpSendData && reply.type != kOpSendCommand) || !reply.has_table) {
        return false;
    }
    *key = {static_cast<uint16_t>(reply.type), reply.rtu, reply.table};
    return true;
}

LateReplyOutcome JudgeLateCommandReply(const CommandReply& reply, uint8_t current_state,
                                       uint8_t sign_rtu_on_fail) {
    if (!reply.has_rtu || current_state == RtuDisabled) {
        return {false, 0, false, LateReplyLog::None};
    }
    if (reply.result_code == 0) {
        return {true, RtuActive, false, LateReplyLog::Success};
    }
    LateReplyOutcome outcome = FailureOutcome(reply.result_code);
    outcome.tells_host = outcome.changes_state && sign_rtu_on_fail == 1;
    return outcome;
}

LateReplyOutcome JudgeLateSetTimeReply(const CommandReply& reply) {
    if (!reply.has_rtu) {
        return {false, 0, false, LateReplyLog::None};
    }
    if (reply.result_code == 0) {
        return {true, RtuActive, false, LateReplyLog::Success};
    }
    return FailureOutcome(reply.result_code);
}

}  // namespace krogw
