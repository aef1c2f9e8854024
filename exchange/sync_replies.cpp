#include "exchange/sync_replies.h"

#include "context/late_replies.h"
#include "context/statistics_count.h"
#include "exchange/command_reply.h"
#include "exchange/error_gate.h"
#include "gateway/frame.h"
#include "gateway/socket_io.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

constexpr int32_t kHostRtuFailed = 1;

bool IsLateReplyType(uint32_t type) {
    return type == kOpSendData || type == kOpSendCommand || type == kOpSetRtuTime;
}

// The oldest request that waits for this reply is answered; a write's slot is released.
// True when a request waited for it.
bool AnswerLateRequest(const CommandReply& reply, DriverContext& context) {
    SyncReplyKey key{};
    return ReplyKeyOf(reply, &key) && TakeLateReply(context, key);
}

void TakeLateSetTimeReply(const CommandReply& reply, DriverContext& context) {
    AnswerLateRequest(reply, context);
    const LateReplyOutcome outcome = JudgeLateSetTimeReply(reply);
    if (outcome.changes_state) {
        context.rtu_state[reply.rtu].store(outcome.new_state);
    }
    if (outcome.log == LateReplyLog::Failure) {
        err(kLogError, "KROGW : Fail to send to RTU %d set time Command",
            static_cast<int>(reply.rtu));
    }
}

}  // namespace

GwReadEnd AwaitSyncReply(PlatformSocket socket, uint8_t* buffer, size_t capacity,
                         DriverContext& context, const SyncReplyKey& own, int32_t timeout_ms) {
    const int64_t sent_ms = PlatformMonotonicMs();
    const int64_t deadline = sent_ms + timeout_ms;
    const uint32_t expected = own.type | kGwReplyBit;
    for (;;) {
        const GwReadEnd read = GwReadMessageBy(socket, buffer, capacity, deadline, context);
        if (read != GwReadEnd::Message) {
            return read;
        }
        const size_t length = GwMessageLength(buffer, capacity);
        if (length < kGwOpcodeOffset + 4) {
            return read;
        }
        const uint32_t opcode = GetU32(buffer + kGwOpcodeOffset);
        if ((opcode & kGwReplyBit) == 0) {
            return read;
        }
        if (!IsLateReplyType(GwMessageType(opcode))) {
            err(kLogTrace, "KroGW : Discard reply %X, waiting for %X", opcode, expected);
            continue;
        }
        CommandReply reply{};
        SyncReplyKey key{};
        const bool keyed = ReadCommandReply(buffer, length, &reply) && ReplyKeyOf(reply, &key);
        if (keyed ? key == own && !IsLateReplyAwaited(context, own) : opcode == expected) {
            CountReplyTime(context, socket, PlatformMonotonicMs() - sent_ms);
            return read;
        }
        TakeSyncMessage(buffer, length, context);
    }
}

namespace {

// A late reply to a write (258 or 259).
void HandleCommandReply(const uint8_t* message, size_t received, DriverContext& context) {
    CommandReply reply{};
    if (!ReadCommandReply(message, received, &reply) || !reply.has_command_block) {
        return;
    }
    if (AnswerLateRequest(reply, context)) {
        CountRtu(context, reply.rtu, StatWrLate);
    }
    SetErrorGate(context, reply.result_code);
    if (!reply.has_rtu) {
        err(kLogError, "KroGW : Command reply without RTU, %d bytes",
            static_cast<int>(GwMessageLength(message, received)));
        return;
    }
    std::atomic<uint8_t>& state = context.rtu_state[reply.rtu];
    const LateReplyOutcome outcome =
        JudgeLateCommandReply(reply, state.load(), context.sign_rtu_on_fail);
    if (outcome.changes_state) {
        state.store(outcome.new_state);
    }
    if (outcome.tells_host) {
        QivSetPlcCommStatus(context.client, context.driver_number, reply.rtu, kHostRtuFailed,
                            kHostRtuFailed);
    }
    if (outcome.log == LateReplyLog::Failure) {
        err(kLogError, "KROGW : Fail to send Command(%d),Rtu %d,Tbl %d",
            static_cast<int>(reply.result_code), static_cast<int>(reply.rtu),
            static_cast<int>(reply.table));
    } else if (outcome.log == LateReplyLog::Success) {
        err(kLogTrace, "KROGW : Send Command To Rtu %d Success (As burst)",
            static_cast<int>(reply.rtu));
    }
}

}  // namespace

void TakeSyncMessage(const uint8_t* message, size_t received, DriverContext& context) {
    CommandReply reply{};
    if (!ReadCommandReply(message, received, &reply)) {
        return;
    }
    if (reply.status == kGwStatusQueueFull) {
        err(kLogError, "KROGW : WARNING !!! - GateWay Msg queue is Full");
        return;
    }
    if (reply.status != kGwStatusNormal) {
        err(kLogError, "KroGW : Recv bad burst status %X", reply.status);
        return;
    }
    if (!reply.has_command_block) {
        err(kLogError, "KroGW : Recv short msg of %d bytes",
            static_cast<int>(GwMessageLength(message, received)));
        return;
    }
    switch (reply.type) {
        case kOpSendData:
            err(kLogTrace, "KroGW : Got SEND DATA Burst Type %X", reply.type);
            HandleCommandReply(message, received, context);
            break;
        case kOpSendCommand:
            err(kLogTrace, "KroGW : Got COMMAND Burst Type %X", reply.type);
            HandleCommandReply(message, received, context);
            break;
        case kOpSetRtuTime:
            TakeLateSetTimeReply(reply, context);
            break;
        default:
            err(kLogError, "KroGW : Recv Unknown Burst code %X", reply.type);
            break;
    }
}

}  // namespace krogw
