#include "exchange/commands.h"

#include "context/command_queue.h"
#include "context/counters.h"
#include "context/in_flight.h"
#include "context/late_replies.h"
#include "context/statistics_count.h"
#include "context/turn_queue.h"
#include "exchange/command_message.h"
#include "exchange/error_gate.h"
#include "exchange/sync_replies.h"
#include "gateway/active_set.h"
#include "gateway/frame.h"
#include "gateway/hot_backup.h"
#include "gateway/replies.h"
#include "gateway/socket_io.h"
#include "host/qivpro.h"

namespace krogw {
namespace {

// The confirmation read by the sender, matched to its write: the slot is released and
// the RTU's state follows the result code.
HostResult TakeConfirmation(DriverContext& context, const CommandWrite& write, const uint8_t* reply,
                            size_t capacity) {
    DecrementNotBelowZero(context.commands_in_flight);
    const ReplyJudgement judgement = JudgeReply(reply, capacity, kAnyReplyOpcode, kGwBodyOffset);
    if (judgement.verdict == ReplyVerdict::Unexpected) {
        CountRtu(context, write.rtu, StatWriteFail);
        err(kLogError, "KroGW : Bad reply to send command, %d bytes",
            static_cast<int>(GwMessageLength(reply, capacity)));
        return HostNotDone;
    }
    std::atomic<uint8_t>& state = context.rtu_state[write.rtu];
    CountRtu(context, write.rtu,
             judgement.verdict == ReplyVerdict::Accepted ? StatWriteOk : StatWriteFail);
    if (judgement.verdict == ReplyVerdict::Refused) {
        err(kLogError, "KroGW : Fail to send command msg (%d)",
            static_cast<int>(judgement.result_code));
        SetErrorGate(context, judgement.result_code);
        state.store(RtuNotConfirmed);
        return HostNotDone;
    }
    // The reply lines keep "KROGW : " as hosts' log filters know it.
    err(kLogTrace,
        CommandOpcode(write) == kOpSendCommand ? "KROGW : Send COMMAND To Rtu %d Success"
                                               : "KROGW : Send DATA To Rtu %d Success",
        static_cast<int>(write.rtu));
    state.store(RtuActive);
    return HostDone;
}

HostResult TimedOut(DriverContext& context, const CommandWrite& write) {
    err(kLogTrace, "KroGW : Response Timeout(%d mSec) to send command",
        static_cast<int>(context.cmd_response_time));
    AwaitLateReply(context, WriteReplyKey(write));
    return ResultOfState(context.rtu_state[write.rtu].load());
}

// The channel ended after the write went out and before its confirmation came: nothing
// can confirm it any more, so it is not done, and no late reply will free its slot.
HostResult ChannelEnded(DriverContext& context, const CommandWrite& write) {
    err(kLogError, "KroGW : Channel ended before the write to Rtu %d was confirmed",
        static_cast<int>(write.rtu));
    CountRtu(context, write.rtu, StatWrLost);
    DecrementNotBelowZero(context.commands_in_flight);
    return HostFailed;
}

// Builds the write with the active channel id, sends it on the active sync channel read
// afresh and waits up to cmd_response_time for its confirmation, all under one lease.
// False when it could not be sent.
bool ExchangeOnActiveSync(DriverContext& context, const CommandWrite& write, uint8_t* buffer,
                          size_t capacity, HostResult* result) {
    const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Sync));
    BuildCommandMessage(write, context.active_sockets.channel_id.load(), buffer, capacity);
    if (!GwSend(lease.socket(), buffer, capacity, context)) {
        return false;
    }
    CountRtu(context, write.rtu, StatWrites);
    switch (AwaitSyncReply(lease.socket(), buffer, capacity, context, WriteReplyKey(write),
                           context.cmd_response_time)) {
        case GwReadEnd::Message:
            *result = TakeConfirmation(context, write, buffer, capacity);
            break;
        case GwReadEnd::NoMessage:
            *result = TimedOut(context, write);
            break;
        case GwReadEnd::Ended:
            *result = ChannelEnded(context, write);
            break;
    }
    return true;
}

// The caller holds the sync channel's turn and has counted the write in flight. A failed send
// switches gateways when both are usable and sends once more, rebuilt for whichever
// gateway is active then; without a switch-over the same channel is tried again.
HostResult SendCommand(DriverContext& context, const CommandWrite& write, uint8_t* buffer,
                       size_t capacity) {
    HostResult result = HostFailed;
    if (ExchangeOnActiveSync(context, write, buffer, capacity, &result)) {
        return result;
    }
    if (BothGatewaysUsable(context)) {
        SwitchGatewayHoldingSync(context);
    }
    if (ExchangeOnActiveSync(context, write, buffer, capacity, &result)) {
        return result;
    }
    err(kLogError, "KroGW : Fail to send command");
    CountRtu(context, write.rtu, StatWriteFail);
    ShutDownActiveSockets(context);
    DecrementNotBelowZero(context.commands_in_flight);
    return HostFailed;
}

struct CountedSend {
    bool had_turn;  // false: the sync channel did not come within the bound, nothing sent
    HostResult result;
};

// SendCommand for a write that holds an in-flight slot, in its turn at the sync channel.
// A write whose turn does not come within the bound is not sent and lets its slot go.
CountedSend SendCounted(DriverContext& context, const CommandWrite& write, uint8_t* buffer,
                        size_t capacity) {
    const int32_t wait_ms = SyncTurnWaitMs(context);
    const QueuedTurn turn(context.command_busy, wait_ms);
    if (!turn.taken()) {
        err(kLogError, "KroGW : Sync channel busy for %d ms, write to Rtu %d Tbl %d not sent",
            static_cast<int>(wait_ms), static_cast<int>(write.rtu),
            static_cast<int>(CommandTable(write)));
        DecrementNotBelowZero(context.commands_in_flight);
        return {false, HostFailed};
    }
    return {true, SendCommand(context, write, buffer, capacity)};
}

bool IsSendable(const CommandWrite& write) {
    if (IsValidCommandWrite(write) && IsRtuNumber(write.rtu)) {
        return true;
    }
    err(kLogError, "KroGW : Bad write to Rtu %d, width %d, count %d", static_cast<int>(write.rtu),
        static_cast<int>(write.bit_width), static_cast<int>(write.element_count));
    return false;
}

}  // namespace

HostResult RequestCommand(DriverContext& context, const CommandWrite& command) {
    if (!IsSendable(command)) {
        return HostFailed;
    }
    const uint8_t sign = context.sign_rtu_on_fail;
    // Behind the writes already queued, so that a point takes its values in the order
    // the host wrote them.
    if (context.command_queue_count.load() == 0 && TakeCommandSlot(context)) {
        uint8_t message[kRequestBufferBytes];
        const CountedSend sent = SendCounted(context, command, message, sizeof message);
        if (!sent.had_turn) {
            CountRtu(context, command.rtu, StatWriteFail);
        }
        return ReportedResult(sent.result, sign);
    }
    if (!EnqueueCommand(context, command)) {
        err(kLogError, "KroGW : WARNING !!! - Internal CMD buffer if Full");
        return HostFailed;
    }
    return ReportedResult(ResultOfState(context.rtu_state[command.rtu].load()), sign);
}

HostResult DrainCommandQueue(DriverContext& context) {
    // The oldest write stays at the head until it holds a slot and has gone out, so
    // that no later write overtakes it.
    CommandQueueEntry oldest{};
    if (!CopyOldestCommand(context, &oldest)) {
        return HostNotDone;
    }
    const CommandWrite write = CommandWriteFromEntry(oldest);
    if (!IsSendable(write)) {
        CountRtu(context, write.rtu, StatWrLost);
        DropOldestCommand(context);
        return HostFailed;
    }
    if (!TakeCommandSlot(context)) {
        return HostNotDone;
    }
    // The command thread's own buffer: it reads nothing while it drains.
    const CountedSend sent =
        SendCounted(context, write, context.command_buffer, sizeof context.command_buffer);
    // A write that did not get the channel keeps its place, for the next pass.
    if (sent.had_turn) {
        DropOldestCommand(context);
    }
    return ReportedResult(sent.result, context.sign_rtu_on_fail);
}

}  // namespace krogw
