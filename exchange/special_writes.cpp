#include "exchange/special_writes.h"

#include "context/late_replies.h"
#include "context/turn_queue.h"
#include "exchange/command_message.h"
#include "exchange/sync_replies.h"
#include "gateway/active_set.h"
#include "gateway/channel_exchange.h"
#include "gateway/frame.h"
#include "gateway/replies.h"
#include "gateway/socket_io.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

// The reply's result_code when it holds one, or nothing for a message too short for it.
bool ResultCodeOf(const uint8_t* reply, size_t capacity, uint32_t* code) {
    const ReplyJudgement judgement = JudgeReply(reply, capacity, kAnyReplyOpcode, kGwBodyOffset);
    *code = judgement.verdict == ReplyVerdict::Refused ? judgement.result_code : 0;
    return judgement.verdict != ReplyVerdict::Unexpected;
}

HostResult SendSetRtuTime(DriverContext& context, int32_t rtu, uint8_t* message, size_t capacity) {
    const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Sync));
    BuildSetRtuTimeMessage(static_cast<uint16_t>(rtu), PlatformLocalTime(),
                           context.active_sockets.channel_id.load(), message, capacity);
    if (!GwSend(lease.socket(), message, capacity, context)) {
        err(kLogError, "KroGW : Fail to send Set RTU Time command");
        return HostNotDone;
    }
    const SyncReplyKey key = SetRtuTimeReplyKey(static_cast<uint16_t>(rtu));
    const GwReadEnd read =
        AwaitSyncReply(lease.socket(), message, capacity, context, key, context.cmd_response_time);
    if (read != GwReadEnd::Message) {
        if (read == GwReadEnd::NoMessage) {
            AwaitLateReply(context, key);
        }
        err(kLogTrace, "KroGW : Response Timeout(%d mSec) to send RTU Time",
            static_cast<int>(context.cmd_response_time));
        return ResultOfState(context.rtu_state[rtu].load());
    }
    uint32_t code = 0;
    if (!ResultCodeOf(message, capacity, &code)) {
        err(kLogError, "KroGW : Bad reply to RTU time command");
        return HostNotDone;
    }
    if (code != 0) {
        err(kLogError, "KroGW : Fail to send RTU time command (%d)", static_cast<int>(code));
        return HostNotDone;
    }
    return HostDone;
}

}  // namespace

HostResult SetRtuTime(DriverContext& context, int32_t rtu) {
    if (!IsRtuNumber(rtu)) {
        err(kLogError, "KroGW : Bad RTU %d for set time", static_cast<int>(rtu));
        return HostNotDone;
    }
    uint8_t message[kRequestBufferBytes];
    // The command thread reads nothing on the sync channel while the clock is set.
    const int32_t wait_ms = SyncTurnWaitMs(context);
    const QueuedTurn turn(context.command_busy, wait_ms);
    if (!turn.taken()) {
        err(kLogError, "KroGW : Sync channel busy for %d ms, set time of Rtu %d not sent",
            static_cast<int>(wait_ms), static_cast<int>(rtu));
        return HostNotDone;
    }
    return SendSetRtuTime(context, rtu, message, sizeof message);
}

HostResult SendSetCall(DriverContext& context) {
    const SetCallParameters params{
        context.setcall_params[0].load(), context.setcall_params[1].load(),
        context.setcall_params[2].load(), context.setcall_params[3].load(),
        context.setcall_params[4].load(), context.setcall_params[5].load()};
    uint8_t message[kRequestBufferBytes];
    const ChannelExchange exchange(context, ActiveSlot(context, ActiveChannel::Status));
    // The sender holds the status channel's turn: what it holds now answers an earlier request.
    GwDiscardReadable(exchange.socket(), message, sizeof message);
    BuildSetCallMessage(params, context.active_sockets.channel_id.load(), message, sizeof message);
    if (!GwSend(exchange.socket(), message, sizeof message, context)) {
        err(kLogError, "KroGW : Fail to send Set Call command");
        return HostNotDone;
    }
    if (!GwRecvReply(exchange.socket(), message, sizeof message, context, kOpSetCall)) {
        err(kLogTrace, "KroGW : No Response to SetCall msg");
        return HostDone;
    }
    uint32_t code = 0;
    if (!ResultCodeOf(message, sizeof message, &code)) {
        err(kLogError, "KroGW : Bad reply to SetCall command");
        return HostNotDone;
    }
    if (code != 0) {
        err(kLogError, "KroGW : Fail to send SetCall command (%d)", static_cast<int>(code));
        return HostNotDone;
    }
    return HostDone;
}

}  // namespace krogw
