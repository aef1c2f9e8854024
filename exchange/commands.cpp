#include "exchange/commands.h"

#include "driver/flag_lock.h"
#include "exchange/command_message.h"
#include "exchange/command_queue.h"
#include "exchange/command_reply.h"
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

// The confirmation read by the sender: the slot is released and the RTU's state follows
// the result code. The reply's opcode is not examined.
uint8_t TakeConfirmation(DriverContext& context, const CommandWrite& write, const uint8_t* reply,
                         size_t capacity) {
    DecrementNotBelowZero(context.commands_in_flight);
    const ReplyJudgement judgement = JudgeReply(reply, capacity, kAnyReplyOpcode, kGwBodyOffset);
    if (judgement.verdict == ReplyVerdict::Unexpected) {
        err(kLogError, "KroGW : Bad reply to send command, %d bytes",
            static_cast<int>(GwMessageLength(reply, capacity)));
        return kResultNotDone;
    }
    std::atomic<uint8_t>& state = context.rtu_state[write.rtu];
    if (judgement.verdict == ReplyVerdict::Refused) {
        err(kLogError, "KroGW : Fail to send command msg (%d)",
            static_cast<int>(judgement.result_code));
        SetErrorGate(context, judgement.result_code);
        state.store(RtuNotConfirmed);
        return kResultNotDone;
    }
    err(kLogTrace,
        CommandOpcode(write) == kOpSendCommand ? "KROGW : Send COMMAND To Rtu %d Success"
                                               : "KROGW : Send DATA To Rtu %d Success",
        static_cast<int>(write.rtu));
    state.store(RtuActive);
    return kResultDone;
}

uint8_t TimedOut(const DriverContext& context, const CommandWrite& write) {
    err(kLogTrace, "KroGW : Response Timeout(%d mSec) to send command",
        static_cast<int>(context.cmd_response_time));
    return context.rtu_state[write.rtu].load();
}

// Builds the write with the active channel id, sends it on the active sync channel read
// afresh and waits up to cmd_response_time for its confirmation, all under one lease.
// False when it could not be sent.
bool ExchangeOnActiveSync(DriverContext& context, const CommandWrite& write, uint8_t* buffer,
                          size_t capacity, uint8_t* result) {
    const SocketLease lease(context, ActiveSlot(context, ActiveChannel::Sync));
    BuildCommandMessage(write, context.active_channel_id.load(), buffer, capacity);
    if (!GwSend(lease.socket(), buffer, capacity, context)) {
        return false;
    }
    *result = AwaitSyncReply(lease.socket(), buffer, capacity, context, CommandOpcode(write),
                             context.cmd_response_time)
                  ? TakeConfirmation(context, write, buffer, capacity)
                  : TimedOut(context, write);
    return true;
}

// The caller holds command_busy and has counted the write in flight. A failed send
// switches gateways when both are usable and sends once more, rebuilt for whichever
// gateway is active then; without a switch-over the same channel is tried again.
uint8_t SendCommand(DriverContext& context, const CommandWrite& write, uint8_t* buffer,
                    size_t capacity) {
    uint8_t result = kResultFailed;
    if (ExchangeOnActiveSync(context, write, buffer, capacity, &result)) {
        return result;
    }
    if (BothGatewaysUsable(context)) {
        SwitchGateway(context, kAutomaticSwitch);
    }
    if (ExchangeOnActiveSync(context, write, buffer, capacity, &result)) {
        return result;
    }
    err(kLogError, "KroGW : Fail to send command");
    ShutDownActiveSockets(context);
    DecrementNotBelowZero(context.commands_in_flight);
    return kResultFailed;
}

// Counts the write in flight while fewer than cmd_buffer_length are, in one indivisible
// step, so that the host's thread and the command thread never pass the limit together.
bool TakeInFlightSlot(DriverContext& context) {
    uint16_t current = context.commands_in_flight.load();
    do {
        if (current >= context.cmd_buffer_length) {
            return false;
        }
    } while (!context.commands_in_flight.compare_exchange_weak(current,
                                                               static_cast<uint16_t>(current + 1)));
    return true;
}

// RequestCommand for a write held by the caller, with the caller's message buffer.
uint8_t RequestWrite(DriverContext& context, const CommandWrite& write, uint8_t* buffer,
                     size_t capacity) {
    if (!IsValidCommandWrite(write) || !IsRtuNumber(write.rtu)) {
        err(kLogError, "KroGW : Bad write to Rtu %d, width %d, count %d",
            static_cast<int>(write.rtu), static_cast<int>(write.bit_width),
            static_cast<int>(write.element_count));
        return kResultFailed;
    }
    const uint8_t sign = context.sign_rtu_on_fail;
    if (TakeInFlightSlot(context)) {
        uint8_t result = kResultFailed;
        {
            const FlagLock busy(context.command_busy);
            result = SendCommand(context, write, buffer, capacity);
        }
        return ReportedState(result, sign);
    }
    if (!EnqueueCommand(context, write)) {
        err(kLogError, "KroGW : WARNING !!! - Internal CMD buffer if Full");
        return kResultFailed;
    }
    return ReportedState(context.rtu_state[write.rtu].load(), sign);
}

}  // namespace

uint8_t RequestCommand(GateIoArguments& write, DriverContext& context) {
    uint8_t message[kRequestBufferBytes];
    return RequestWrite(context, CommandWriteFromRequest(write), message, sizeof message);
}

uint8_t DrainCommandQueue(DriverContext& context) {
    CommandQueueEntry oldest{};
    if (!DequeueCommand(context, &oldest)) {
        return kResultNotDone;
    }
    // The command thread's own buffer: it reads nothing while it drains.
    return RequestWrite(context, CommandWriteFromEntry(oldest), context.command_buffer,
                        sizeof context.command_buffer);
}

}  // namespace krogw
